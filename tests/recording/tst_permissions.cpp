// The permissions guide offscreen: the desktop's settings tool and the
// restart link, with the starter and the quit injected.
#include <QApplication>
#include <QtTest>
#include <QLabel>
#include <QToolButton>

#include "platform/framework/VxSettings.h"
#include "recording/DlgSetPermissions.h"
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

    void cleanup() { init(); }

    void settingsTool_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected"); // tool name, then its arguments
        const QStringList both{"gnome-control-center", "pavucontrol"};
        QTest::newRow("GNOME Classic microphone")
            << "GNOME-Classic:GNOME" << 1 << both << QStringList{"gnome-control-center", "sound"};
        QTest::newRow("XFCE microphone") << "XFCE" << 1 << both << QStringList{"pavucontrol", "--tab=4"};
        QTest::newRow("GNOME microphone, no control center")
            << "GNOME" << 1 << QStringList{"pavucontrol"} << QStringList{"pavucontrol", "--tab=4"};
        QTest::newRow("KDE camera") << "KDE" << 0 << both << QStringList();
        QTest::newRow("nothing installed") << "GNOME" << 1 << QStringList() << QStringList();
    }

    // The link opens the desktop's matching tool found on PATH, and the
    // guide stays.
    void settingsTool()
    {
        QFETCH(QString, desktop);
        QFETCH(int, kind);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        QTemporaryDir bin;
        for (const QString& tool : installed) {
            QVERIFY(testsupport::writeFile(bin.filePath(tool), "#!/bin/sh\nexit 0\n"));
            QVERIFY(QFile::setPermissions(bin.filePath(tool), QFile::ReadOwner | QFile::ExeOwner));
        }
        testsupport::ScopedEnv path("PATH", bin.path().toLocal8Bit().constData());
        testsupport::ScopedEnv current("XDG_CURRENT_DESKTOP", desktop.toLocal8Bit().constData());
        if (!expected.isEmpty())
            expected[0] = bin.filePath(expected[0]);
        QCOMPARE(DlgSetPermissions::settingsCommand(Privacy_Setting(kind)), expected);

        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Setting(kind), false);
        dialog.show();
        clickLink(dialog, "lblUrlOpenSet");
        QCOMPARE(m_started, expected.isEmpty() ? QVector<QStringList>() : QVector<QStringList>{expected});
        QVERIFY(dialog.isVisible() && m_quits.isEmpty());
    }

    // Only a left click released over a link counts.
    void linkButtons()
    {
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_ScreenCapture, false);
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
            DlgSetPermissions dialog(nullptr);
            dialog.setshowGuide(Privacy_Microphone, false);
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
