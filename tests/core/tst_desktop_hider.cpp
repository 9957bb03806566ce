// The note of hidden windows over the engine double: what is hidden is
// written down first, a second hide adds to it, each kind comes back on its
// own and bottom first, and a note that cannot be written hides nothing.
#include <QApplication>
#include <QtTest>

#include "core/DesktopHider.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/TestHelpers.h"

using Window = FakeScreencast::Window;

namespace {

Window window(unsigned int id) { return Window{id, QStringLiteral("w%1").arg(id), QStringLiteral("app")}; }

QStringList calls(const QString& prefix)
{
    return FakeScreencast::calls().filter(QRegularExpression("^" + QRegularExpression::escape(prefix)));
}

} // namespace

class TstDesktopHider : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FakeScreencast::reset();
        QFile::remove(DesktopHider::notePath());
        // Top of the stack first, as the engine lists them.
        FakeScreencast::setDesktopWindows(kDesktopApps, {window(30), window(20), window(10)});
        FakeScreencast::setDesktopWindows(kDesktopPanels, {window(7)});
    }

    void hideAddsAndEachKindComesBackAlone()
    {
        DesktopHider::hide(kDesktopApps);
        QCOMPARE(calls("scHideDesktopWindows"), QStringList{"scHideDesktopWindows(1, 10 20 30)"});
        QCOMPARE(testsupport::readFile(DesktopHider::notePath()), QByteArray("1 10\n1 20\n1 30\n"));

        // Opened since, then hidden by a second start: added on top.
        FakeScreencast::edit([](FakeScreencast::State& s) { s.desktopWindows[kDesktopApps].prepend(window(40)); });
        DesktopHider::hide(kDesktopApps);
        DesktopHider::hide(kDesktopPanels);
        QCOMPARE(testsupport::readFile(DesktopHider::notePath()), QByteArray("1 10\n1 20\n1 30\n1 40\n2 7\n"));

        DesktopHider::show(kDesktopApps);
        QCOMPARE(calls("scShowDesktopWindows"), QStringList{"scShowDesktopWindows(1, 10 20 30 40)"});
        QCOMPARE(testsupport::readFile(DesktopHider::notePath()), QByteArray("2 7\n"));
        DesktopHider::show(kDesktopApps);   // nothing left of that kind: no call
        QCOMPARE(calls("scShowDesktopWindows").size(), 1);

        DesktopHider::showLeftovers();
        QCOMPARE(calls("scShowDesktopWindows").last(), QStringLiteral("scShowDesktopWindows(2, 7)"));
        QVERIFY(!QFile::exists(DesktopHider::notePath()));
    }

    // The windows a window recording takes in are never put away.
    void keptWindowsStay()
    {
        DesktopHider::hide(kDesktopApps, {20});
        QCOMPARE(calls("scHideDesktopWindows"), QStringList{"scHideDesktopWindows(1, 10 30)"});
        QCOMPARE(testsupport::readFile(DesktopHider::notePath()), QByteArray("1 10\n1 30\n"));
        DesktopHider::hide(kDesktopApps, {10, 20, 30});   // nothing else to hide: no call
        QCOMPARE(calls("scHideDesktopWindows").size(), 1);
    }

    void brokenNoteLinesAreSkipped()
    {
        QVERIFY(testsupport::writeFile(DesktopHider::notePath(), "1 10\ngarbage\n1 0\n2\n1 20 3\n\n2 7\n"));
        DesktopHider::showLeftovers();
        QCOMPARE(calls("scShowDesktopWindows"),
                 (QStringList{"scShowDesktopWindows(1, 10)", "scShowDesktopWindows(2, 7)"}));
        QVERIFY(!QFile::exists(DesktopHider::notePath()));
    }

    // Hidden without a note, a window could stay hidden for good after a
    // crash: nothing is hidden then.
    void unwritableNoteHidesNothing()
    {
        testsupport::UnwritablePath nowhere;
        QVERIFY(nowhere.ok());
        testsupport::ScopedEnv data("XDG_DATA_HOME", nowhere.path("data").toUtf8().constData());
        DesktopHider::hide(kDesktopApps);
        QCOMPARE(calls("scHideDesktopWindows"), QStringList{});
        QCOMPARE(FakeScreencast::read(&FakeScreencast::State::desktopWindows)[kDesktopApps][0].visible, true);
    }
};

QTEST_MAIN(TstDesktopHider)
#include "tst_desktop_hider.moc"
