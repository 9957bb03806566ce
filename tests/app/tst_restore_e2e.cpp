// The real program killed while it records offers the recording at its next
// start; saved from the preview, it is a movie of more than a second.
#include <QtTest>

#include "tests/support/E2eTestHelpers.h"
#include "tests/support/media/TestMedia.h"

using testsupport::runProgram;
using testsupport::xdotool;

namespace {

const int kLong = 60000;   // generous bound for what a loaded machine must reach

// The visible windows of the program's run.
QStringList windowsOf(qint64 pid)
{
    const QString out = QString::fromLatin1(
        runProgram("xdotool", {"search", "--all", "--onlyvisible", "--pid", QString::number(pid), "--name", "."}));
    return out.split('\n', Qt::SkipEmptyParts);
}

// A dialog names the window it belongs to; the frame names none.
bool isDialog(const QString& window)
{
    return runProgram("xprop", {"-id", window, "WM_TRANSIENT_FOR"}).contains("window id");
}

QString iniPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + "/ScreenRecorder/ScreenRecorder.ini";
}

QString namedRecording()
{
    return QSettings(iniPath(), QSettings::IniFormat).value("outputVideo").toString();
}

// Long enough to prove more than the first fragment survived.
bool holdsOverASecond(const QString& path)
{
    if (path.isEmpty() || QFileInfo(path).size() == 0)
        return false;
    const testmedia::Probe p = testmedia::probe(path, true);
    return p.ok && !p.videoCodec.isEmpty() && (p.duration > 1.5 || (p.fps > 0 && p.frames > 1.5 * p.fps));
}

} // namespace

class TstRestoreE2E : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_out;
    QProcess m_program;

    void launch()
    {
        m_program.setProgram(QStringLiteral(SR_PROGRAM));
        m_program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_program.setStandardOutputFile(QProcess::nullDevice());
        m_program.start();
        QVERIFY(m_program.waitForStarted(kLong));
    }

    void stop()
    {
        if (m_program.state() == QProcess::NotRunning)
            return;
        m_program.terminate();
        if (!m_program.waitForFinished(30000)) {
            m_program.kill();
            m_program.waitForFinished(kLong);
        }
    }

private slots:
    void initTestCase()
    {
        QVERIFY(!qEnvironmentVariableIsEmpty("DISPLAY"));
        QVERIFY(m_out.isValid());
        QDir().mkpath(QFileInfo(iniPath()).absolutePath());
        QSettings ini(iniPath(), QSettings::IniFormat);
        ini.setValue("HotkeyRemind", true);
        ini.setValue("CountDown", false);
        ini.setValue("Path/VideoFolder", m_out.path());
    }

    void cleanupTestCase() { stop(); }

    void killedRecordingIsRestoredAndSaved()
    {
        launch();
        QTRY_VERIFY_WITH_TIMEOUT(!windowsOf(m_program.processId()).isEmpty(), kLong);
        // The start/stop hotkey as a user presses it.
        QVERIFY(xdotool({"key", "ctrl+shift+F9"}));
        QString temp;
        QTRY_VERIFY_WITH_TIMEOUT(holdsOverASecond(temp = namedRecording()), kLong);
        m_program.kill();
        QVERIFY(m_program.waitForFinished(kLong));
        QVERIFY(QFileInfo(temp).isFile());

        launch();
        const qint64 pid = m_program.processId();
        QString box;
        const auto findBox = [&] {
            for (const QString& w : windowsOf(pid))
                if (isDialog(w))
                    box = w;
            return !box.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(findBox(), kLong);
        const QStringList before = windowsOf(pid);
        // Yes is the default answer.
        QVERIFY(xdotool({"windowactivate", "--sync", box, "key", "Return"}));

        QString preview;
        const auto findPreview = [&] {
            for (const QString& w : windowsOf(pid))
                if (!before.contains(w))
                    preview = w;
            return !preview.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(findPreview(), kLong);
        // Save is the preview's default and focused button.
        QVERIFY(xdotool({"windowactivate", "--sync", preview, "key", "Return"}));

        QString saved;
        const auto findSaved = [&] {
            for (const QFileInfo& f : QDir(m_out.path()).entryInfoList(QDir::Files))
                if (holdsOverASecond(f.filePath()))
                    saved = f.filePath();
            return !saved.isEmpty();
        };
        QTRY_VERIFY_WITH_TIMEOUT(findSaved(), kLong);
        // Settled: the next start offers nothing.
        QTRY_VERIFY_WITH_TIMEOUT(namedRecording().isEmpty(), kLong);
        stop();
        QCOMPARE(m_program.state(), QProcess::NotRunning);
    }
};

QTEST_GUILESS_MAIN(TstRestoreE2E)
#include "tst_restore_e2e.moc"
