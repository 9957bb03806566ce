// The preferences with the real engine: the chosen container and frame rate
// reach the decoded file; the microphone test meter shows a tone.
#include <QApplication>
#include <QComboBox>
#include <QtTest>
#include <QPushButton>

#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "preferences/OptionDialog.h"
#include "recording/ScreenRecorder.h"
#include "tests/support/media/TestMedia.h"
#include "widgets/CustomLEDFrame.h"

namespace {

const int kLong = 30000;

void choose(OptionDialog& dialog, const char* name, int value)
{
    auto* combo = dialog.findChild<QComboBox*>(QLatin1String(name));
    QVERIFY(combo);
    const int row = combo->findData(value);
    QVERIFY2(row >= 0, name);
    combo->setCurrentIndex(row);
}

// Meter pixels far from its dark background, away from the rounded corners.
// Pixels far from the silent meter's (which shows its unlit tracks).
int litPixels(CustomLEDFrame& meter, const QImage& silent)
{
    const QImage shot = meter.grab().toImage();
    if (shot.size() != silent.size())
        return -1;
    int lit = 0;
    for (int y = 4; y < shot.height() - 4; ++y) {
        for (int x = 4; x < shot.width() - 4; ++x) {
            const QColor c = shot.pixelColor(x, y);
            const QColor s = silent.pixelColor(x, y);
            lit += qAbs(c.red() - s.red()) + qAbs(c.green() - s.green()) + qAbs(c.blue() - s.blue()) > 90 ? 1 : 0;
        }
    }
    return lit;
}

} // namespace

class TstOptionsE2E : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY(initScreencast());
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(true);
        rp->chooseVideoContent(true);
        rp->setVideoRect(QRect(0, 0, 640, 360));
        rp->setSysAudioEnable(false);
        rp->setMicEnable(false);
        rp->setCamerastream(false);
    }

    void cleanupTestCase()
    {
        ScreenRecorder::release();
        DeviceManager::release();
        uninitScreencast();
    }

    void recordingFollowsTheChoice_data()
    {
        QTest::addColumn<int>("container");
        QTest::addColumn<int>("fps");
        QTest::addColumn<QString>("suffix");
        QTest::addColumn<QString>("brand"); // how the major brand begins
        QTest::newRow("MOV at 15") << int(RP_Format_MOV) << 15 << "mov" << "qt";
        QTest::newRow("MP4 at 10") << int(RP_Format_MP4) << 10 << "mp4" << "iso";
    }

    void recordingFollowsTheChoice()
    {
        QFETCH(int, container);
        QFETCH(int, fps);
        QFETCH(QString, suffix);
        QFETCH(QString, brand);
        {
            OptionDialog dialog(SETTINGPAGE_Output);
            choose(dialog, "cmbContainer", container);
            choose(dialog, "cmbCodec", RP_Codec_H264);
            choose(dialog, "cmbFrameRate", fps);
            dialog.findChild<QPushButton*>("btnOK")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }

        ScreenRecorder* recorder = ScreenRecorder::instance();
        QVERIFY(recorder->checkTempfilePath());
        QVERIFY(recorder->recordVideo());
        recorder->start();
        const QString path = recorder->getTmpFilePath();
        QCOMPARE(QFileInfo(path).suffix(), suffix);
        qint64 first = 0;
        QTRY_VERIFY_WITH_TIMEOUT((first = QFileInfo(path).size()) > 0, kLong);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > first, kLong);
        recorder->stop();

        testmedia::Probe facts;
        QTRY_VERIFY_WITH_TIMEOUT((facts = testmedia::probe(path)).ok, kLong);
        QCOMPARE(facts.videoCodec, QString("h264"));
        QVERIFY2(facts.brand.startsWith(brand), qPrintable(facts.brand));
        QVERIFY2(qAbs(facts.fps - fps) < 1.0, qPrintable(QString("%1 frames a second").arg(facts.fps)));
        QFile::remove(path);
    }

    void microphoneTestShowsSound()
    {
        // The environment's default input hears what its null sink plays.
        QTemporaryDir dir;
        const QString wav = dir.filePath("tone.wav");
        QVERIFY(testmedia::makeTone(wav, 60, 1000));
        QProcess player;
        player.start("paplay", {wav});
        QVERIFY(player.waitForStarted(kLong));

        OptionDialog dialog(SETTINGPAGE_Record);
        dialog.show();
        auto* meter = dialog.findChild<CustomLEDFrame*>("ledMicTest");
        auto* button = dialog.findChild<QPushButton*>("btnMicTest");
        QVERIFY(meter && button);
        const QImage silent = meter->grab().toImage();
        button->click();
        QVERIFY(button->isChecked());
        QTRY_VERIFY_WITH_TIMEOUT(litPixels(*meter, silent) > 0, kLong);
        // Another page: the microphone is let go and the meter falls silent.
        dialog.setCurrentPage(SETTINGPAGE_Mouse);
        QVERIFY(!button->isChecked());
        QCOMPARE(litPixels(*meter, silent), 0);
        player.kill();
        player.waitForFinished(kLong);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TstOptionsE2E test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_options_e2e.moc"
