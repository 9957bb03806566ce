// The audio plug-in manager against the test environment's sound server:
// with the only output unloaded system sound cannot be recorded; the home
// window's offer installs the virtual output through the real scripts and
// the Uninstall link takes it away again, telling the hub.
#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include "app/MainWindowAudioPlugin.h"
#include "app/MainWindowBase.h"
#include "core/RecordParameter.h"
#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "core/SignalsTransfer.h"
#include "recording/AudioDriverManager.h"
#include "widgets/FfSwitchButton.h"

namespace {

const int kLong = 30000;

QString pactl(const QStringList& args)
{
    QProcess process;
    process.start("pactl", args);
    process.waitForFinished(kLong);
    return QString::fromUtf8(process.readAllStandardOutput());
}

// The indices of the loaded modules whose arguments hold `text`.
QStringList modulesWith(const QString& text)
{
    QStringList indices;
    for (const QString& line : pactl({"list", "short", "modules"}).split('\n'))
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
    void initTestCase()
    {
        // No password prompt can be answered here, and no step needs one:
        // the scripts the program would hand to pkexec run as this user.
        OSServiceUtils::setPrivilegedRunner([](const QString&, const QStringList& args) {
            if (args.size() != 2 || args.first() != "/bin/bash")
                return -1;
            return QProcess::execute("/bin/bash", {SR_RESOURCES_DIR "/" + QFileInfo(args[1]).fileName()});
        });
        QVERIFY(systemSound());
    }

    void brokenSoundRepairedAndRemoved()
    {
        // The server's stand-in output first, or it comes back at once.
        for (const char* module : {"module-always-sink", "sink_name=nullsink"}) {
            QCOMPARE(modulesWith(module).size(), 1);
            pactl({"unload-module", modulesWith(module).first()});
        }
        QTRY_VERIFY_WITH_TIMEOUT(!systemSound(), kLong);

        // The user installs from the offer and closes once it works.
        bool clickedInstall = false;
        QTimer user;
        connect(&user, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<AudioDriverManager*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            if (!clickedInstall && child<QToolButton>(dialog, "btnInstall")->isVisible()) {
                clickedInstall = true;
                child<QToolButton>(dialog, "btnInstall")->click();
            } else if (child<QLabel>(dialog, "lblStatus")->text() == "Working"
                       && child<QToolButton>(dialog, "btnCancel")->isVisible()) {
                child<QToolButton>(dialog, "btnCancel")->click();
            }
        });
        user.start(100);
        // A dialog still open long after it should have worked is closed,
        // so that the test fails instead of hanging.
        QTimer::singleShot(3 * kLong, this, [] {
            if (QWidget* modal = QApplication::activeModalWidget())
                modal->close();
        });
        QVERIFY(homewindow::checkAudioPluginOffering(nullptr, nullptr));
        user.stop();
        QVERIFY(clickedInstall);
        QCOMPARE(modulesWith("sink_name=sr_virtual_output").size(), 1);

        // Installing again finds nothing to do and loads nothing more.
        AudioDriverManager status(nullptr, 1);
        status.show();
        QCOMPARE(child<QToolButton>(&status, "btnCancel")->text(), QString("OK"));
        QLabel* uninstall = child<QLabel>(&status, "lblUninstall");
        QVERIFY(uninstall->isVisible());
        status.installAudioDriver();
        QCOMPARE(child<QLabel>(&status, "lblStatus")->text(), QString("Working"));
        QCOMPARE(modulesWith("sink_name=sr_virtual_output").size(), 1);

        // The home window takes system sound now that it can.
        MainWindowBase frame(nullptr);
        frame.show();
        auto* systemSwitch = frame.findChild<FfSwitchButton*>("btnUseAudio");
        systemSwitch->setBtnChecked(true);
        QVERIFY(systemSwitch->isChecked() && RecordParameter::instance()->getSysAudioEnable());

        // Uninstall takes away what the install loaded, and the home window
        // hears of it.
        QSignalSpy removed(SignalsTransfer::instance(), &SignalsTransfer::uninstallAudioDeiver);
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(uninstall, &release);
        QCOMPARE(removed.count(), 1);
        QVERIFY(modulesWith("sr_virtual_output").isEmpty());
        QVERIFY(!systemSound());
        QTRY_COMPARE_WITH_TIMEOUT(child<QLabel>(&status, "lblStatus")->text(), QString("Invalid"), kLong);
        QVERIFY(child<QToolButton>(&status, "btnInstall")->isVisible());
        QVERIFY(!uninstall->isVisible());
        QVERIFY(!systemSwitch->isChecked());
        QVERIFY(!RecordParameter::instance()->getSysAudioEnable());

        // An install that leaves system sound missing offers to try again.
        OSServiceUtils::setPrivilegedRunner([](const QString&, const QStringList&) { return 2; });
        status.installAudioDriver();
        QTRY_COMPARE_WITH_TIMEOUT(child<QStackedWidget>(&status, "stackedWidget")->currentWidget()->objectName(),
                                  QString("pageError"), kLong);
        QCOMPARE(child<QToolButton>(&status, "btnInstall")->text(), QString("Re-Install"));
        QVERIFY(child<QToolButton>(&status, "btnInstall")->isVisible());
    }
};

QTEST_MAIN(TstAudioPluginE2E)
#include "tst_audio_plugin_e2e.moc"
