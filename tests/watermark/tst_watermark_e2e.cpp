// A text preset designed in the manager, then a real recording: the decoded
// pictures carry the text where the preview showed it and nowhere else.
#include <QApplication>
#include <QColorDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "app/RecordHistoryTool.h"
#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "recording/ScreenRecorder.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/media/TestMedia.h"
#include "watermark/DlgWatermarkManage.h"
#include "watermark/WaterMarkDataManage.h"
#include "watermark/WaterMarkPreview.h"
#include "watermark/WhaterMarkMenuDlg.h"

namespace {

const int kLong = 30000;

bool isMark(QRgb pixel)
{
    return qGreen(pixel) > 150 && qRed(pixel) < 110 && qBlue(pixel) < 110;
}

void sendMouse(QWidget* widget, QEvent::Type type, QPoint at)
{
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, widget->mapToGlobal(at), button, held, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

// The preset: opaque green text large enough to find; the colour dialog opens after the
// step returns, so it comes to the driver as a modal of its own.
void designPreset(QWidget* modal)
{
    auto* manager = qobject_cast<DlgWatermarkManage*>(modal);
    QVERIFY(manager);
    manager->findChild<QPushButton*>("btnAddText")->click();
    auto* name = manager->findChild<QLineEdit*>("editName");
    name->selectAll();
    QTest::keyClicks(name, "Green mark");
    auto* text = manager->findChild<QLineEdit*>("editText");
    text->selectAll();
    QTest::keyClicks(text, "WM");
    manager->findChild<QSpinBox*>("spinFontSize")->setValue(160);
    manager->findChild<QSpinBox*>("spinOpacity")->setValue(100);
    QTimer::singleShot(0, manager->findChild<QPushButton*>("btnColour"), &QPushButton::click);
}

// Dragged by its middle towards the upper left quarter, saved, closed; the
// place the preview shows is left in `placed` as shares of the frame.
void placePreset(QWidget* manager, QRectF& placed)
{
    auto* preview = manager->findChild<WaterMarkPreview*>();
    QVERIFY(preview);
    const QRect frame = preview->frameRect();
    const QPoint drop = frame.topLeft() + QPoint(frame.width() * 3 / 10, frame.height() * 3 / 10);
    sendMouse(preview, QEvent::MouseButtonPress, preview->markRect().center());
    sendMouse(preview, QEvent::MouseMove, drop);
    sendMouse(preview, QEvent::MouseButtonRelease, drop);
    const QRect after = preview->markRect();
    QVERIFY2((after.center() - drop).manhattanLength() <= 2, "the mark follows the pointer");
    placed = QRectF(double(after.x() - frame.x()) / frame.width(), double(after.y() - frame.y()) / frame.height(),
                    double(after.width()) / frame.width(), double(after.height()) / frame.height());
    manager->findChild<QPushButton*>("btnSave")->click();
    manager->findChild<QPushButton*>("btnClose")->click();
}

} // namespace

class TstWaterMarkE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY(initScreencast());
        QFile::remove(WaterMarkDataManage::dataFilePath());
    }

    void cleanupTestCase()
    {
        ScreenRecorder::release();
        WaterMarkDataManage::release();
        DeviceManager::release();
        uninitScreencast();
    }

    void designedTextBurntIn()
    {
        RecordHistoryTool strip;
        strip.show();
        QRectF placed;
        ModalDriver driver(kLong);
        driver.expect(designPreset, "DlgWatermarkManage");
        driver.expect([](QWidget* modal) {
            auto* dialog = qobject_cast<QColorDialog*>(modal);
            QVERIFY(dialog);
            dialog->setCurrentColor(QColor(0, 255, 0));
            dialog->accept();
        }, "QColorDialog");
        driver.expect([&placed](QWidget* modal) { placePreset(modal, placed); }, "DlgWatermarkManage");
        strip.onShowWhaterMarkMenuDlg();
        strip.waterMarkMenu()->findChild<QPushButton*>("btnAMWaterMark")->click();
        DRIVER_DONE(driver, kLong);
        QVERIFY(placed.isValid());

        // Picked in the drop-down like a user does it.
        strip.onShowWhaterMarkMenuDlg();
        QListWidget* rows = strip.waterMarkMenu()->listWidget();
        const QList<QListWidgetItem*> found = rows->findItems("Green mark", Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        QTest::mouseClick(rows->viewport(), Qt::LeftButton, {}, rows->visualItemRect(found.first()).center());
        QTRY_VERIFY_WITH_TIMEOUT(strip.waterMarkMenu()->isHidden(), kLong);
        QCOMPARE(WaterMarkDataManage::instance()->m_nCurrentIndex, rows->row(found.first()) - 1);
        strip.hide();

        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(true);
        rp->chooseVideoContent(true);
        rp->setWindowRecord(false);
        rp->setVideoRect(QRect(0, 0, 640, 360));
        rp->setVideoOpt(30, RP_Codec_H264, RP_Quality_High);
        rp->setUsedVideoFmt(RP_Format_MP4);
        rp->setSysAudioEnable(false);
        rp->setMicEnable(false);
        rp->setCamerastream(false);
        ScreenRecorder* recorder = ScreenRecorder::instance();
        QVERIFY(recorder->checkTempfilePath());
        QVERIFY(recorder->recordVideo());
        QElapsedTimer clock;
        clock.start();
        recorder->start();
        const QString path = recorder->getTmpFilePath();
        QTRY_VERIFY_WITH_TIMEOUT(clock.elapsed() >= 2000 && QFileInfo(path).size() > 0, kLong);
        recorder->stop();

        testmedia::Probe facts;
        QTRY_VERIFY_WITH_TIMEOUT((facts = testmedia::probe(path)).ok, kLong);
        const QImage picture = testmedia::pictureAt(path, facts.duration / 2);
        QVERIFY(!picture.isNull());
        const QRect expected(qRound(placed.x() * picture.width()), qRound(placed.y() * picture.height()),
                             qRound(placed.width() * picture.width()), qRound(placed.height() * picture.height()));
        const QRect near = expected.adjusted(-6, -6, 6, 6);
        int inside = 0;
        int outside = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x) {
                if (isMark(picture.pixel(x, y)))
                    ++(near.contains(x, y) ? inside : outside);
            }
        }
        qInfo("mark at %d,%d %dx%d: %d pixels inside, %d outside", expected.x(), expected.y(), expected.width(),
              expected.height(), inside, outside);
        QVERIFY2(inside > expected.width() * expected.height() / 10, qPrintable(QString::number(inside)));
        QVERIFY2(outside < 20, qPrintable(QString::number(outside)));
        QFile::remove(path);
    }
};

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TstWaterMarkE2E test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_watermark_e2e.moc"
