// The preview over the real engine: a sound converted and saved, and a movie of
// known content cut to [2.0, 4.5] and saved by Enter, decoded.
#include <QApplication>
#include <QtTest>
#include <QPushButton>

#include "Screencast.h"
#include "capture/DlgVideoClip.h"
#include "capture/TrimBar.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "tests/support/media/TestMedia.h"

class TstPreviewE2e : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QCOMPARE(scInitialize(), int(kScInitOk)); }
    void cleanupTestCase() { scUninitialize(); }

    void init()
    {
        m_outDir = QDir::homePath() + "/Media/out";
        QDir(m_outDir).removeRecursively();
        QDir().mkpath(m_outDir);
        Utils::setVideoOutputPath(m_outDir);
        RecordParameter* p = RecordParameter::instance();
        p->setWindowRecord(false);
        p->setOnlyRecordCamera(false);
    }

    void soundIsConvertedAndSaved()
    {
        const QString source = Utils::getRecorderTmpRoot() + "/.ScreenRecorder.wav";
        QVERIFY(testmedia::makeTone(source, 2.5));
        RecordParameter::instance()->setVideoEnable(false);
        RecordParameter::instance()->setUsedAudioFmt(RP_Format_MP3);
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
        QCOMPARE(QDir(m_outDir).entryList(QDir::Files), QStringList{entry.fileName});
        const testmedia::Probe facts = testmedia::probe(entry.path);
        QCOMPARE(facts.audioCodec, QStringLiteral("mp3"));
        QVERIFY2(qAbs(facts.duration - 2.5) < 0.2, qPrintable(QString::number(facts.duration)));
        QVERIFY(!QFileInfo::exists(source));
    }

    void movieIsCutAndSaved()
    {
        const QString movie = Utils::getRecorderTmpRoot() + "/.ScreenRecorder.mp4";
        QVERIFY(testmedia::makeCountingMovie(movie, 6.0));
        RecordParameter::instance()->setVideoEnable(true);
        RecordParameter::instance()->setUsedVideoFmt(RP_Format_MP4);

        DlgVideoClip dlg(movie, nullptr, nullptr, true, false);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        TrimBar* bar = dlg.findChild<TrimBar*>();
        QTRY_VERIFY_WITH_TIMEOUT(bar->position() > 0.3, 30000);   // plays on open

        dlg.onTrimOK(2.0, 4.5);
        const auto cutIn = [&] { return qAbs(testmedia::probe(movie).duration - 2.5) < 0.1; };
        QTRY_VERIFY_WITH_TIMEOUT(cutIn(), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(dlg.findChild<QPushButton*>("btnSave")->isEnabled(), 30000);
        QCOMPARE(QDir(QFileInfo(movie).path()).entryList(QDir::Files | QDir::Hidden), QStringList{".ScreenRecorder.mp4"});

        QVERIFY(QTest::qWaitForWindowActive(&dlg, 30000));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 30000);
        QCOMPARE(finished.first().at(0).toInt(), 1);
        const QStringList saved = QDir(m_outDir).entryList(QDir::Files);
        QCOMPARE(saved.size(), 1);
        const QString path = m_outDir + "/" + saved.first();
        QVERIFY2(qAbs(testmedia::probe(path).duration - 2.5) < 0.1, qPrintable(path));
        const QVector<testmedia::Picture> first = testmedia::pictures(path, 1);
        QCOMPARE(first.size(), 1);
        QCOMPARE(testmedia::frameNumber(first.first().image), 60);
    }

private:
    QString m_outDir;
};

QTEST_MAIN(TstPreviewE2e)
#include "tst_preview_e2e.moc"
