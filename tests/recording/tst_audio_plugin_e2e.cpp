// The audio plug-in manager with the real scripts against the test
// environment's sound server, from a missing output back and away again.
#include <QApplication>
#include <QtTest>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>

#include "app/MainWindowAudioPlugin.h"
#include "app/MainWindowBase.h"
#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "recording/AudioDriverManager.h"
#include "widgets/FfSwitchButton.h"

#include <unistd.h>

namespace {

const int kLong = 30000;

// The indices of the loaded modules whose line holds `text`.
QStringList modulesWith(const QString& text)
{
    QProcess pactl;
    pactl.start("pactl", {"list", "short", "modules"});
    pactl.waitForFinished(kLong);
    QStringList indices;
    for (const QString& line : QString::fromUtf8(pactl.readAllStandardOutput()).split('\n'))
        if (line.contains(text))
            indices << line.section('\t', 0, 0);
    return indices;
}

bool systemSound() { return DeviceManager::instance()->checkVirtualAudioDriver(); }

template<typename T> T* child(QWidget* dialog, const char* name) { return dialog->findChild<T*>(name); }

} // namespace

class TstAudioPluginE2E : public QObject
{
    Q_OBJECT

private slots:
    // The sound server is shared by the tests that run after this one: its
    // null sink and stand-in output come back as the environment made them.
    void cleanupTestCase()
    {
        if (modulesWith("sink_name=nullsink").isEmpty())
            QProcess::execute("pactl", {"load-module", "module-null-sink", "sink_name=nullsink"});
        if (modulesWith("module-always-sink").isEmpty())
            QProcess::execute("pactl", {"load-module", "module-always-sink"});
        QProcess::execute("pactl", {"set-default-sink", "nullsink"});
        QProcess::execute("pactl", {"set-default-source", "nullsink.monitor"});
        QTRY_VERIFY_WITH_TIMEOUT(systemSound(), kLong);
    }

    void brokenSoundRepairedAndRemoved()
    {
        // The scripts run as this user, as the program runs them: no
        // password is asked for setting up sound.
        OSServiceUtils::setPrivilegedRunner(nullptr);
        QVERIFY(systemSound());
        // Without a runtime folder the install keeps its notes in the home
        // folder: a link another user planted in the shared /tmp is never
        // written through.
        qunsetenv("XDG_RUNTIME_DIR");
        QTemporaryDir victimDir;
        const QString victim = victimDir.filePath("precious");
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("mine") == 4);
        file.close();
        const QString planted = QString("/tmp/sr-audioplugin-%1.modules").arg(::getuid());
        QFile::remove(planted);
        QVERIFY(QFile::link(victim, planted));
        // The server's stand-in output first, or it comes back at once.
        for (const char* module : {"module-always-sink", "sink_name=nullsink"}) {
            QCOMPARE(modulesWith(module).size(), 1);
            QProcess::execute("pactl", {"unload-module", modulesWith(module).first()});
        }
        QTRY_VERIFY_WITH_TIMEOUT(!systemSound(), kLong);

        // The user installs from the offer and closes once it works; a
        // dialog still open long after is closed so that the test fails.
        QTimer user;
        connect(&user, &QTimer::timeout, this, [] {
            auto* dialog = qobject_cast<AudioDriverManager*>(QApplication::activeModalWidget());
            if (dialog && child<QToolButton>(dialog, "btnInstall")->isVisible())
                child<QToolButton>(dialog, "btnInstall")->click();
            else if (dialog && child<QLabel>(dialog, "lblStatus")->text() == "Working")
                child<QToolButton>(dialog, "btnCancel")->click();
        });
        user.start(100);
        QTimer::singleShot(3 * kLong, &user, [] {
            if (auto* dialog = qobject_cast<AudioDriverManager*>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        QVERIFY(homewindow::checkAudioPluginOffering(nullptr, nullptr));
        user.stop();
        QCOMPARE(modulesWith("sink_name=sr_virtual_output").size(), 1);

        // Installing again finds nothing to do and loads nothing more.
        AudioDriverManager status(nullptr, 1);
        status.show();
        QLabel* uninstall = child<QLabel>(&status, "lblUninstall");
        QVERIFY(uninstall->isVisible() && child<QToolButton>(&status, "btnCancel")->text() == "OK");
        status.installAudioDriver();
        QCOMPARE(child<QLabel>(&status, "lblStatus")->text(), QString("Working"));
        QCOMPARE(modulesWith("sink_name=sr_virtual_output").size(), 1);

        MainWindowBase frame(nullptr);
        frame.show();
        auto* systemSwitch = frame.findChild<FfSwitchButton*>("btnUseAudio");
        systemSwitch->setBtnChecked(true);
        QVERIFY(systemSwitch->isChecked() && RecordParameter::instance()->getSysAudioEnable());

        // Uninstall takes away what the install loaded; the hub tells the
        // home window.
        QSignalSpy removed(SignalsTransfer::instance(), &SignalsTransfer::uninstallAudioDeiver);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(uninstall, &release);
        QCOMPARE(removed.count(), 1);
        QVERIFY(modulesWith("sr_virtual_output").isEmpty() && !systemSound());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("mine"));
        file.close();
        QFile::remove(planted);
        QVERIFY(!systemSwitch->isChecked() && !RecordParameter::instance()->getSysAudioEnable());
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&status, "lblStatus")->text(), QString("Invalid"), kLong);
        QVERIFY(child<QToolButton>(&status, "btnInstall")->isVisible() && !uninstall->isVisible());

        // An install that leaves system sound missing offers to try again.
        OSServiceUtils::setPrivilegedRunner([](const QString&, const QStringList&) { return 2; });
        status.installAudioDriver();
        QTRY_COMPARE_WITH_TIMEOUT(child<QToolButton>(&status, "btnInstall")->text(), QString("Re-Install"), kLong);
        OSServiceUtils::setPrivilegedRunner(nullptr);
    }
};

QTEST_MAIN(TstAudioPluginE2E)
#include "tst_audio_plugin_e2e.moc"
