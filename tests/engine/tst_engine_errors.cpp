// Why engine calls fail, in the user's words: the system's, FFmpeg's and
// the sound server's error codes turned into sentences, and the calling
// thread's last error as the interface hands it out.

#include "RecordingTestSupport.h"

#include "audio/AudioTempFiles.h"
#include "core/LastError.h"
#include "mux/Muxer.h"

#include "Screencast.h"

#include <QtTest>

#include <cerrno>
#include <csignal>
#include <thread>
#include <vector>

#include <sys/resource.h>

extern "C" {
#include <libavutil/error.h>
}
#include <pulse/def.h>

using namespace sc;

class TstEngineErrors : public QObject {
    Q_OBJECT

private slots:
    void fileErrors_data()
    {
        QTest::addColumn<int>("err");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("isFolder");
        QTest::addColumn<QString>("text");
        QTest::newRow("read-only mount") << EROFS << "/mnt/rec/.video.mp4" << false
                                         << "The folder /mnt/rec is read-only.";
        QTest::newRow("no access") << EACCES << "/mnt/rec/a.wav" << false << "The folder /mnt/rec is read-only.";
        QTest::newRow("not permitted") << EPERM << "/srv/x" << true << "The folder /srv/x is read-only.";
        QTest::newRow("folder itself") << EROFS << "/media/usb" << true << "The folder /media/usb is read-only.";
        QTest::newRow("file at the root") << EROFS << "/a.mp4" << false << "The folder / is read-only.";
        QTest::newRow("full") << ENOSPC << "/tmp/a.mp4" << false << "The disk is full.";
        QTest::newRow("quota") << EDQUOT << "/home/u/a.mp4" << false << "The disk is full.";
        QTest::newRow("missing") << ENOENT << "/gone/a.mp4" << false << "The folder /gone does not exist.";
        QTest::newRow("under a file") << ENOTDIR << "/etc/hostname/a.mp4" << false
                                      << "The folder /etc/hostname does not exist.";
        QTest::newRow("too large") << EFBIG << "/v/a.mov" << false
                                   << "The file has grown too large for the disk it is on.";
        QTest::newRow("long name") << ENAMETOOLONG << "/v/a.mp4" << false
                                   << "The file name is too long for the disk it is on.";
        QTest::newRow("disk fault") << EIO << "/v/a.mp4" << false << "The disk reported an error while writing.";
        QTest::newRow("memory") << ENOMEM << "/v/a.mp4" << false << "The computer has run out of memory.";
        QTest::newRow("files") << EMFILE << "/v/a.mp4" << false << "Too many files are open.";
        QTest::newRow("other") << EXDEV << "/v/a.mp4" << false << "The file /v/a.mp4 could not be written.";
        QTest::newRow("none known") << 0 << "/v/a.mp4" << false << "The file /v/a.mp4 could not be written.";
    }

    void fileErrors()
    {
        QFETCH(int, err);
        QFETCH(QString, path);
        QFETCH(bool, isFolder);
        QFETCH(QString, text);
        QCOMPARE(QString::fromStdString(fileFailureText(err, path.toStdString(), isFolder)), text);
    }

    void ffmpegAndSoundServerErrors_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const std::string file = "/r/a.mp4";
        auto row = [](const char* name, const std::string& text, const char* expected) {
            QTest::newRow(name) << QString::fromStdString(text) << QString(expected);
        };
        row("av full", avFailureText(AVERROR(ENOSPC), file), "The disk is full.");
        row("av read-only", avFailureText(AVERROR(EROFS), file), "The folder /r is read-only.");
        row("av no muxer", avFailureText(AVERROR_MUXER_NOT_FOUND, file),
            "The chosen format cannot be written on this computer.");
        row("av other", avFailureText(AVERROR_INVALIDDATA, file), "The file /r/a.mp4 could not be written.");
        row("pa refused", soundServerFailureText(PA_ERR_CONNECTIONREFUSED), "No sound server is running.");
        row("pa bad server", soundServerFailureText(PA_ERR_INVALIDSERVER), "No sound server is running.");
        row("pa gone", soundServerFailureText(PA_ERR_CONNECTIONTERMINATED), "The sound server stopped.");
        row("pa access", soundServerFailureText(PA_ERR_ACCESS), "The sound server refused the connection.");
        row("pa timeout", soundServerFailureText(PA_ERR_TIMEOUT), "The sound server does not answer.");
        row("pa device", soundServerFailureText(PA_ERR_NOENTITY), "The sound device is gone.");
        row("pa other", soundServerFailureText(PA_ERR_PROTOCOL), "The sound could not be recorded.");
    }

    void ffmpegAndSoundServerErrors()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(text, expected);
    }

    // Every stop of a recording has a sentence, none a bare number.
    void everyRecordingStopIsSaid()
    {
        QSet<QString> seen;
        for (int code = SR_UnknownError; code <= SR_MicInterrupted + 1; ++code) {
            for (int cause = SR_CauseNone; cause <= SR_CauseScreenChanged + 1; ++cause) {
                const QString text = QString::fromStdString(recordingFailureText(code, cause));
                QVERIFY2(text.size() > 10 && text.endsWith('.') && !text.contains(QRegularExpression("\\d")),
                         qPrintable(text));
                seen << text;
            }
        }
        // Each code and each cause in words of its own.
        QCOMPARE(seen.size(), 6 + 4);
        QCOMPARE(QString::fromStdString(recordingFailureText(SR_MicInterrupted, SR_CauseSoundServerLost)),
                 QString("The sound server stopped."));
    }

    // The first reason given since the clear stays (the deepest, nearest to
    // the cause); each thread has its own.
    void lastErrorIsPerThreadAndFirstWins()
    {
        clearLastError();
        setLastError("The disk is full.");
        setLastError("The recording cannot be started.");
        QCOMPARE(QString::fromStdString(lastError()), QString("The disk is full."));
        QString other = "unset";
        std::thread([&other] { other = QString::fromUtf8(scGetLastErrorText()); }).join();
        QCOMPARE(other, QString());
        clearLastError();
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), QString());
    }

    // A real failure of the system on the way out through the interface.
    void fileThatCannotBeCreatedSaysWhy()
    {
        QTemporaryDir dir;
        const QString blocker = dir.filePath("plain");
        QVERIFY(et::writeFile(blocker, "x"));
        clearLastError();
        rec::Muxer muxer;
        std::string technical;
        QVERIFY(!muxer.open((blocker + "/a.mp4").toStdString(), kOutputMp4, technical));
        QCOMPARE(QString::fromStdString(lastError()), "The folder " + blocker + " does not exist.");
    }

    // A sound file whose disk fills in the middle of a chunk keeps the whole
    // frames that went in, and finishing leaves a file that holds them. The
    // file size limit stands in for the full disk: the write stops part way.
    void soundFileKeepsWhatFitOnAFullDisk()
    {
        rec::WavTempFile file;
        std::string error;
        QVERIFY2(file.create(2, error), error.c_str());
        const int64_t header = file.bytes();
        const int64_t room = 1000;
        rlimit saved {};
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = rlim_t(header + room * 4 + 2);   // a torn frame at the end
        const auto previous = std::signal(SIGXFSZ, SIG_IGN);
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const std::vector<int16_t> samples(4000 * 2, 1234);
        const bool ok = file.append(samples.data(), 4000);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, previous);

        QVERIFY(!ok);
        QCOMPARE(file.writeError(), EFBIG);
        QCOMPARE(file.frames(), room);
        QVERIFY2(file.finish(error), error.c_str());
        QCOMPARE(QFileInfo(QString::fromStdString(file.path())).size(), header + room * 4);
    }

    // Refusals of the creating calls leave a sentence; a later call clears it.
    void refusedRecordingsSayWhy()
    {
        et::Callback callback;
        VideoOpt video{};
        video.rect = CRect{0, 0, 320, 240};
        video.fps = 30;
        video.codec = kVideoCodecH264;
        video.quality = 3;
        AudioOpt audio{};
        const QByteArray path = QDir::temp().filePath("never.mp4").toUtf8();
        auto record = [&](OutputVideoFileType type, int codec) {
            video.codec = codec;
            return scVideoRecord(&callback, type, path.constData(), video, audio, MouseOpt{}, false,
                                 kWindowListNone, nullptr, 0, nullptr, 0);
        };
        // No scInitialize in this test: there is no screen to record.
        QVERIFY(!record(kOutputMp4, kVideoCodecH264));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), QString("The screen cannot be reached."));
        QVERIFY(!record(kOutputGif, kVideoCodecH264));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()),
                 QString("The chosen video format cannot be written into this kind of file."));
        QVERIFY(!scAudioRecord(&callback, 0, 0, 2, nullptr));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()),
                 QString("Neither system sound nor the microphone was chosen."));
        QVERIFY(!scAudioConvert(nullptr, nullptr, "", 6));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), QString("No file was named."));
        QVERIFY(!OpenCamera(nullptr, 0, nullptr, false, nullptr));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), QString("No camera was chosen."));
        QVERIFY(!OpenCamera(nullptr, 0, "test-camera", false, nullptr));
        QCOMPARE(QString::fromUtf8(scGetLastErrorText()), QString("The screen cannot be reached."));
        QVERIFY(callback.errors().empty());
    }
};

QTEST_GUILESS_MAIN(TstEngineErrors)
#include "tst_engine_errors.moc"
