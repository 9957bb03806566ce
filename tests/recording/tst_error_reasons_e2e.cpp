// Recordings that fail for a reason the user can act on say that reason in
// their message box, with the real engine started from the home window:
// the engine's sound folder on a read-only volume, no sound server when the
// recording starts, and a disk that fills up while recording.
#include <QApplication>
#include <QtTest>

#include <memory>

#include <unistd.h>

#include "app/MainWindow.h"
#include "app/MainWindowBase.h"
#include "core/RecordParameter.h"
#include "core/RecordingSession.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/E2eTestHelpers.h"
#include "tests/support/ModalDriver.h"

using namespace testsupport;

namespace {

const int kLong = 60000;

// Where the engine writes sound-only recordings.
QString engineSoundFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + "/ScreenRecorder/engine-audio";
}

// A tmpfs mounted over a folder for one test, gone again however the test
// ends.
class TmpfsMount
{
public:
    TmpfsMount(const QString& folder, const QString& options) : m_folder(folder)
    {
        QDir().mkpath(folder);
        m_mounted = ::geteuid() == 0
                    && QProcess::execute("mount", {"-t", "tmpfs", "-o", options, "tmpfs", folder}) == 0;
    }
    ~TmpfsMount()
    {
        // Lazily when something still holds it: the mount must not outlive the test.
        if (m_mounted && QProcess::execute("umount", {m_folder}) != 0)
            QProcess::execute("umount", {"-l", m_folder});
    }
    bool mounted() const { return m_mounted; }

private:
    QString m_folder;
    bool m_mounted = false;
};

// The box's text, answered with Cancel (no feedback form).
ModalDriver::Action keepText(QString* text)
{
    return [text](QWidget* modal) {
        *text = ModalDriver::describe(modal).text;
        ModalDriver::forceClose(modal);
    };
}

} // namespace

class TstErrorReasonsE2e : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QApplication::setQuitOnLastWindowClosed(false);
        m_pulseServer = qgetenv("PULSE_SERVER");
        VxSettings* settings = VxSettings::instance();
        for (const char* key : {"Audio/MicEnable", "CameraEnable", "CountDown", "AutoSave"})
            settings->setApplicationParam(key, false);
        settings->setApplicationParam("Audio/AudioEnable", true);
        m_frame.reset(new MainWindowBase(nullptr));
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get(), kLong));
        QVERIFY(m_frame->mainWindow()->engineStarted());
    }

    void init()
    {
        VxSettings::instance()->setApplicationParam("HotkeyRemind", true);
        qputenv("PULSE_SERVER", m_pulseServer);
    }

    void cleanup() { qputenv("PULSE_SERVER", m_pulseServer); }

    void cleanupTestCase() { m_frame.reset(); }

    void readOnlyFolderIsNamed()
    {
        const QString folder = engineSoundFolder();
        TmpfsMount mount(folder, "ro");
        if (!mount.mounted())
            QSKIP("no read-only volume can be mounted here (not root, or mounts refused)");
        QString text;
        ModalDriver driver(kLong);
        driver.expect(keepText(&text), "VxMessageBox");
        QVERIFY(startSoundOnly());
        DRIVER_DONE(driver, kLong);
        QVERIFY2(text.startsWith("The folder " + folder + " is read-only."), qPrintable(text));
        QVERIFY2(text.contains("(error code: 4001)"), qPrintable(text));
        QTRY_VERIFY_WITH_TIMEOUT(RecordingSession::instance()->isIdle(), kLong);
    }

    // The sound server stops while the hotkey reminder is open, after the
    // home window found it running.
    void missingSoundServerIsNamed()
    {
        VxSettings::instance()->setApplicationParam("HotkeyRemind", false);
        const QByteArray nowhere = "unix:" + QFile::encodeName(m_dir.filePath("no-server/socket"));
        QString text;
        ModalDriver driver(kLong);
        driver.expect([&nowhere](QWidget* modal) {
            qputenv("PULSE_SERVER", nowhere);
            ModalDriver::forceClose(modal);
        }, "DlgHotKeyMessage");
        driver.expect(keepText(&text), "VxMessageBox");
        QVERIFY(startSoundOnly());
        DRIVER_DONE(driver, kLong);
        QVERIFY2(text.startsWith("No sound server is running."), qPrintable(text));
        QVERIFY2(text.contains("(error code: 4001)"), qPrintable(text));
        QTRY_VERIFY_WITH_TIMEOUT(RecordingSession::instance()->isIdle(), kLong);
    }

    // Last: what was recorded before the disk filled stays for the preview.
    void fullDiskIsNamed()
    {
        if (!tempSpaceAbove(0xFFFFFFFFLL))
            QSKIP("4 GB or less free in the temporary folder: the program refuses to record");
        // About ten seconds of sound: even a writer held up for seconds by a
        // busy machine gets something onto it before it is full.
        TmpfsMount mount(engineSoundFolder(), "size=2m");
        if (!mount.mounted())
            QSKIP("no small volume can be mounted here (not root, or mounts refused)");
        QString text;
        ModalDriver driver(kLong);
        driver.expect(keepText(&text), "VxMessageBox");
        driver.expect([](QWidget* modal) { ModalDriver::forceClose(modal); }, "DlgVideoClip");
        QVERIFY(startSoundOnly());
        DRIVER_DONE(driver, kLong);
        QVERIFY2(text.startsWith("Recording is interrupted. The disk is full. You can preview"), qPrintable(text));
        QVERIFY2(text.contains("(error code: 3002)"), qPrintable(text));
        QTRY_VERIFY_WITH_TIMEOUT(RecordingSession::instance()->isIdle(), kLong);
    }

private:
    // System sound alone, started as the user does from the audio page.
    bool startSoundOnly()
    {
        QWidget* tile = m_frame->findChild<QWidget*>("frmChoseAudio");
        if (!tile || !RecordingSession::instance()->isIdle())
            return false;
        QTest::mouseClick(tile, Qt::LeftButton, Qt::NoModifier, tile->rect().center());
        RecordParameter* rp = RecordParameter::instance();
        rp->setSysAudioEnable(true);
        rp->setMicEnable(false);
        rp->setUsedAudioFmt(RP_Format_MP3);
        m_frame->mainWindow()->onBtnRecClicked();
        return true;
    }

    std::unique_ptr<MainWindowBase> m_frame;
    QByteArray m_pulseServer;
    QTemporaryDir m_dir;
};

QTEST_MAIN(TstErrorReasonsE2e)
#include "tst_error_reasons_e2e.moc"
