// The preview window over the real engine: a sound file is converted into
// the chosen audio format and saved, and what lands in the output folder
// decodes as that format with the recording's length.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

#include "capture/DlgVideoClip.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "tests/support/E2eTestHelpers.h"

class TstPreviewE2e : public QObject
{
    Q_OBJECT
private slots:
    void soundIsConvertedAndSaved();
};

void TstPreviewE2e::soundIsConvertedAndSaved()
{
    if (QStandardPaths::findExecutable(QStringLiteral("ffmpeg")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("ffprobe")).isEmpty())
        QSKIP("ffmpeg and ffprobe are needed to make and check the sound file");
    const QString source = Utils::getRecorderTmpRoot() + "/.ScreenRecorder.wav";
    QCOMPARE(QProcess::execute(QStringLiteral("ffmpeg"),
                               {"-v", "error", "-y", "-f", "lavfi", "-i", "sine=frequency=440:duration=2.5", "-ac",
                                "2", source}),
             0);
    const QString outDir = QDir::homePath() + "/Music/out";
    QDir().mkpath(outDir);
    Utils::setVideoOutputPath(outDir);
    RecordParameter* p = RecordParameter::instance();
    p->setVideoEnable(false);
    p->setWindowRecord(false);
    p->setOnlyRecordCamera(false);
    p->setUsedAudioFmt(RP_Format_MP3);
    QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);

    DlgVideoClip dlg(source, nullptr, nullptr, false, true);
    QTimer::singleShot(60000, &dlg, &QDialog::reject);
    QCOMPARE(dlg.exec(), 1);

    QCOMPARE(history.count(), 1);
    const auto entry = history.first().at(0).value<HistoryFileUtils::HistoryFile>();
    QVERIFY(entry.fileName.startsWith("Audio_"));
    QVERIFY(entry.fileName.endsWith(".mp3"));
    QCOMPARE(entry.type, 2);
    QCOMPARE(entry.duration, QStringLiteral("00:00:02"));
    QCOMPARE(QDir(outDir).entryList(QDir::Files), QStringList{entry.fileName});
    const testsupport::MediaProbe facts = testsupport::probeMedia(entry.path);
    QCOMPARE(facts.audioCodec, QStringLiteral("mp3"));
    QVERIFY2(qAbs(facts.duration - 2.5) < 0.2, qPrintable(QString::number(facts.duration)));
    QVERIFY(!QFileInfo::exists(source));
}

QTEST_MAIN(TstPreviewE2e)
#include "tst_preview_e2e.moc"
