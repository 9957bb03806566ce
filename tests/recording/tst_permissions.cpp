// The permissions guide offscreen against the engine double: the page and
// texts for what the engine says is missing, the desktop's settings program
// (fake ones on PATH), and the restart link with the starter and the quit
// injected.
#include <QApplication>
#include <QtTest>
#include <QLabel>
#include <QStackedWidget>
#include <QToolButton>

#include "core/DeviceManager.h"
#include "platform/framework/VxSettings.h"
#include "recording/DlgSetPermissions.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"

namespace {

template <class T> T* part(QWidget& dialog, const char* name)
{
    return dialog.findChild<T*>(QString::fromLatin1(name));
}

void clickLink(QWidget& dialog, const char* name, Qt::MouseButton button = Qt::LeftButton)
{
    QLabel* link = part<QLabel>(dialog, name);
    QTest::mouseClick(link, button, Qt::NoModifier, link->rect().center());
}

const char* const kTextLabels[] = {"lblTittleTips", "lblText1", "lblText2", "lblText3", "lblText4",
                                   "lblText5",      "lblText6", "lblUrlReStart", "lblUrlOpenSet"};

// A folder of settings programs that only write down how they were started.
class FakePrograms
{
public:
    bool install(const QStringList& names)
    {
        for (const QString& name : names) {
            const QByteArray script = "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + started(name).toUtf8() + "'\n";
            if (!testsupport::writeFile(m_bin.filePath(name), script)
                || !QFile::setPermissions(m_bin.filePath(name), QFile::ReadOwner | QFile::ExeOwner))
                return false;
        }
        return true;
    }
    QString folder() const { return m_bin.path(); }
    QString path(const QString& name) const { return m_bin.filePath(name); }
    QString started(const QString& name) const { return m_out.filePath(name + ".args"); }
    QStringList startedNames() const { return QDir(m_out.path()).entryList(QDir::Files); }

private:
    QTemporaryDir m_bin, m_out;
};


} // namespace

class TestPermissions : public QObject
{
    Q_OBJECT

    QVector<QStringList> m_started; // program, then its arguments
    bool m_startResult = true;
    QVector<int> m_quits;

private slots:
    void init()
    {
        m_started.clear();
        m_quits.clear();
        m_startResult = true;
        DlgSetPermissions::setStarter([this](const QString& program, const QStringList& arguments) {
            m_started.append(QStringList{program} + arguments);
            return m_startResult;
        });
        DlgSetPermissions::setQuitter([this](int code) { m_quits.append(code); });
        VxSettings::instance()->removeApplicationParam("restart");
    }

    void cleanup()
    {
        init();
        FakeScreencast::reset();
    }

    // What the engine says is missing chooses the page and what it says;
    // no text speaks of another system's settings or prompts.
    void guideStates_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("permission");
        QTest::addColumn<int>("refusal");
        QTest::addColumn<bool>("showGuide");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("firstStep");
        QTest::addColumn<bool>("restart");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("phrase");
        QTest::newRow("camera closed to this user")
            << 0 << 1 << int(Refusal_NoAccess) << false << "page" << false << true << "lblText3"
            << "usermod -aG video";
        QTest::newRow("camera closed, restart link") << 0 << 1 << int(Refusal_NoAccess) << false << "page" << false
                                                     << true << "lblUrlReStart" << "next login, not at a restart";
        QTest::newRow("no camera") << 0 << 1 << int(Refusal_NoDevice) << false << "page_2" << false << false
                                   << "lblTittleTips" << "No camera was found";
        QTest::newRow("no camera, never asked") << 0 << 0 << int(Refusal_NoDevice) << true << "page_2" << false
                                                << false << "lblText5" << "Connect a camera";
        QTest::newRow("no sound server") << 1 << 1 << int(Refusal_NoService) << false << "page" << false << false
                                         << "lblText3" << "pulseaudio --start";
        QTest::newRow("no microphone") << 1 << 1 << int(Refusal_NoDevice) << false << "page" << false << false
                                       << "lblText3" << "Connect a microphone";
        QTest::newRow("no microphone, never asked") << 1 << 0 << int(Refusal_NoDevice) << true << "page" << false
                                                    << false << "lblTittleTips" << "no microphone";
        QTest::newRow("screen, never asked") << 2 << 0 << int(Refusal_NoService) << true << "page" << true << false
                                             << "lblText1" << "X server";
        QTest::newRow("screen, asked before") << 2 << 1 << int(Refusal_NoService) << false << "page" << false
                                              << false << "lblText3" << "\"on Xorg\"";
        QTest::newRow("pointer, never asked") << 3 << 0 << int(Refusal_NoService) << true << "page" << true << false
                                              << "lblTittleTips" << "Following the mouse";
    }

    void guideStates()
    {
        QFETCH(int, kind);
        QFETCH(int, permission);
        QFETCH(int, refusal);
        QFETCH(bool, showGuide);
        QFETCH(QString, page);
        QFETCH(bool, firstStep);
        QFETCH(bool, restart);
        QFETCH(QString, label);
        QFETCH(QString, phrase);
        FakeScreencast::reset();
        FakeScreencast::setPermission(kind, permission, refusal);
        QTemporaryDir noPrograms;
        testsupport::ScopedEnv path("PATH", noPrograms.path().toLocal8Bit().constData());

        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Setting(kind), showGuide);
        QCOMPARE(FakeScreencast::callCount("GetPermissionRefusal"), 1);
        QCOMPARE(part<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName(), page);
        QCOMPARE(!part<QWidget>(dialog, "frmSystem")->isHidden(), firstStep);
        QCOMPARE(!part<QWidget>(dialog, "lblUrlReStart")->isHidden(), restart);
        QVERIFY2(part<QLabel>(dialog, qPrintable(label))->text().contains(phrase),
                 qPrintable(part<QLabel>(dialog, qPrintable(label))->text()));
        for (const char* name : kTextLabels) {
            const QString text = part<QLabel>(dialog, name)->text();
            for (const char* foreign : {"Security & Privacy", "System Preferences", "Quit Now", "pop-up", "Later"})
                QVERIFY2(!text.contains(QLatin1String(foreign)), name);
        }
        if (!restart) {
            // A hidden link restarts nothing, even when an event reaches it.
            QLabel* link = part<QLabel>(dialog, "lblUrlReStart");
            QMouseEvent release(QEvent::MouseButtonRelease, link->rect().center(), Qt::LeftButton, Qt::NoButton,
                                Qt::NoModifier);
            QCoreApplication::sendEvent(link, &release);
            QVERIFY(m_started.isEmpty() && m_quits.isEmpty());
        }
        // With no settings program the steps say what to do in words.
        const QString settings = part<QLabel>(dialog, "lblUrlOpenSet")->text();
        if (page == "page")
            QVERIFY2(!settings.isEmpty() && !settings.contains("<a "), qPrintable(settings));
    }

    void settingsProgram_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected"); // program name, then its arguments; empty: words
        const QStringList all{"gnome-control-center", "systemsettings", "cinnamon-settings", "mate-volume-control",
                              "pavucontrol", "pavucontrol-qt"};
        QTest::newRow("GNOME Classic") << "GNOME-Classic:GNOME" << 1 << all
                                       << QStringList{"gnome-control-center", "sound"};
        QTest::newRow("KDE") << "KDE" << 1 << all << QStringList{"systemsettings", "kcm_pulseaudio"};
        QTest::newRow("KDE, Plasma 5 name") << "KDE" << 1 << QStringList{"systemsettings5", "pavucontrol"}
                                            << QStringList{"systemsettings5", "kcm_pulseaudio"};
        QTest::newRow("Cinnamon") << "X-Cinnamon" << 1 << all << QStringList{"cinnamon-settings", "sound"};
        QTest::newRow("MATE") << "MATE" << 1 << all << QStringList{"mate-volume-control"};
        QTest::newRow("XFCE") << "XFCE" << 1 << all << QStringList{"pavucontrol", "--tab=4"};
        QTest::newRow("GNOME without its control centre")
            << "GNOME" << 1 << QStringList{"systemsettings", "pavucontrol-qt"} << QStringList{"pavucontrol-qt"};
        QTest::newRow("nothing installed") << "GNOME" << 1 << QStringList() << QStringList();
        QTest::newRow("camera has no settings") << "GNOME" << 0 << all << QStringList();
    }

    // The link starts the first program of this desktop found on PATH and
    // the guide stays; with none, the guide says in words what to do.
    void settingsProgram()
    {
        QFETCH(QString, desktop);
        QFETCH(int, kind);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        FakeScreencast::reset();
        FakeScreencast::setPermission(kind, 1, kind == Privacy_Camera ? Refusal_NoAccess : Refusal_NoDevice);
        FakePrograms programs;
        QVERIFY(programs.install(installed));
        testsupport::ScopedEnv path("PATH", programs.folder().toLocal8Bit().constData());
        testsupport::ScopedEnv current("XDG_CURRENT_DESKTOP", desktop.toLocal8Bit().constData());

        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Setting(kind), false);
        dialog.show();
        QLabel* link = part<QLabel>(dialog, "lblUrlOpenSet");
        QCOMPARE(link->text().contains("<a "), !expected.isEmpty());
        clickLink(dialog, "lblUrlOpenSet");
        QVERIFY(dialog.isVisible() && m_quits.isEmpty() && m_started.isEmpty());
        if (expected.isEmpty()) {
            QVERIFY2(link->text().contains(kind == Privacy_Camera ? "group" : "pavucontrol"), qPrintable(link->text()));
            QTest::qWait(300); // a wrongly started program would have written by now
            QCOMPARE(programs.startedNames(), QStringList());
            return;
        }
        const QString name = expected.takeFirst();
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(programs.started(name)), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(testsupport::readFile(programs.started(name))),
                                  expected.join('\n') + '\n', 20000);
        QCOMPARE(programs.startedNames(), QStringList{name + ".args"});
    }

    // A program that is gone by the time of the click leaves the words.
    void settingsProgramGone()
    {
        FakeScreencast::reset();
        FakeScreencast::setPermission(Privacy_Microphone, 1, Refusal_NoService);
        FakePrograms programs;
        QVERIFY(programs.install({"pavucontrol"}));
        testsupport::ScopedEnv path("PATH", programs.folder().toLocal8Bit().constData());
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Microphone, false);
        dialog.show();
        QVERIFY(part<QLabel>(dialog, "lblUrlOpenSet")->text().contains("<a "));
        QVERIFY(QFile::remove(programs.path("pavucontrol")));
        clickLink(dialog, "lblUrlOpenSet");
        QVERIFY(part<QLabel>(dialog, "lblUrlOpenSet")->text().contains("pavucontrol"));
        QVERIFY(!part<QLabel>(dialog, "lblUrlOpenSet")->text().contains("<a "));
        QVERIFY(dialog.isVisible());
    }

    // Only a left click released over a link counts.
    void linkButtons()
    {
        FakeScreencast::setPermission(Privacy_Camera, 1, Refusal_NoAccess);
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Camera, false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (const char* link : {"lblUrlReStart", "lblUrlOpenSet"}) {
            clickLink(dialog, link, Qt::RightButton);
            clickLink(dialog, link, Qt::MiddleButton);
            QLabel* label = part<QLabel>(dialog, link);
            QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, label->rect().center());
            QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, QPoint(-5, label->height() + 5));
        }
        QVERIFY(m_started.isEmpty());
        QVERIFY(m_quits.isEmpty());
        QVERIFY(dialog.isVisible());
    }

    // The restart runs this program again once this process ended, closes the guide, sets
    // "restart" and ends the loop with 0; when the start fails the program stays.
    void restartLink()
    {
        for (bool starts : {false, true}) {
            m_startResult = starts;
            m_started.clear();
            FakeScreencast::setPermission(Privacy_Camera, 1, Refusal_NoAccess);
            DlgSetPermissions dialog(nullptr);
            dialog.setshowGuide(Privacy_Camera, false);
            ModalDriver driver;
            driver.expect(
                [&](QWidget* modal) {
                    clickLink(*modal, "lblUrlReStart");
                    if (modal->isVisible())
                        QTest::mouseClick(part<QToolButton>(*modal, "btnFinish"), Qt::LeftButton);
                },
                "DlgSetPermissions");
            QCOMPARE(dialog.exec(), starts ? int(QDialog::Accepted) : int(QDialog::Rejected));
            VERIFY_DRIVER(driver);
            QCOMPARE(m_started.size(), 1);
            QCOMPARE(m_started.first(), DlgSetPermissions::restartCommand(QCoreApplication::applicationPid(),
                                                                          QCoreApplication::applicationFilePath(),
                                                                          QCoreApplication::arguments().mid(1)));
            QCOMPARE(m_quits, starts ? QVector<int>{0} : QVector<int>());
            QCOMPARE(VxSettings::instance()->applicationParam("restart", false).toBool(), starts);
        }
    }

    // The restart command waits while the old process lives, then runs the
    // program with its arguments untouched (no shell line is built).
    void restartCommandRuns()
    {
        QTemporaryDir dir;
        QProcess old;
        old.start("sleep", {"30"});
        QVERIFY(old.waitForStarted());
        const QString out = dir.filePath("out.txt");
        const QString marker = dir.filePath("evil");
        const QStringList arguments{"-c", "printf '%s\\n' \"$@\" > \"$0\"", out, "a b", "$(touch " + marker + ")",
                                    "'quoted'", ""};
        const QStringList command = DlgSetPermissions::restartCommand(old.processId(), "/bin/sh", arguments);
        QCOMPARE(command.first(), QString("/bin/sh"));
        QProcess restarter;
        restarter.start(command.first(), command.mid(1));
        QVERIFY(restarter.waitForStarted());
        // Nothing runs while the old process lives (a slow machine only
        // makes this check weaker, never wrong).
        QTest::qWait(400);
        QVERIFY(!QFile::exists(out));
        QCOMPARE(restarter.state(), QProcess::Running);

        old.kill();
        QVERIFY(old.waitForFinished(30000));
        QVERIFY(restarter.waitForFinished(30000));
        QCOMPARE(restarter.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(testsupport::readFile(out)), QString("a b\n$(touch %1)\n'quoted'\n\n").arg(marker));
        QVERIFY(!QFile::exists(marker));
    }
};

QTEST_MAIN(TestPermissions)
#include "tst_permissions.moc"
