// Window recordings with the real engine: another process's red and blue windows;
// each way of choosing red gives an MP4 that holds red and no blue.
#include <QApplication>
#include <QtTest>
#include <QListWidget>
#include <QToolButton>

#include <memory>

#include "core/DeviceManager.h"
#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "core/WindowListManger.h"
#include "recording/DlgLockWindow.h"
#include "recording/ScreenRecorder.h"
#include "tests/support/media/TestMedia.h"

namespace {

const int kLong = 30000;

// The child's part: two managed windows of one colour each.
int paintWindows(int argc, char** argv)
{
    QApplication app(argc, argv);
    const struct { const char* title; QColor colour; QRect geometry; } windows[] = {
        {"Red window", QColor(230, 20, 20), QRect(80, 120, 400, 300)},
        {"Blue window", QColor(20, 20, 230), QRect(640, 120, 400, 300)},
    };
    std::vector<std::unique_ptr<QWidget>> shown;
    for (const auto& w : windows) {
        shown.emplace_back(new QWidget);
        QWidget* widget = shown.back().get();
        widget->setWindowTitle(w.title);
        widget->setAutoFillBackground(true);
        QPalette p = widget->palette();
        p.setColor(QPalette::Window, w.colour);
        widget->setPalette(p);
        widget->setGeometry(w.geometry);
        widget->show();
    }
    return app.exec();
}

// Share of the picture's pixels near a colour.
double shareOf(const QImage& picture, const QColor& colour)
{
    if (picture.isNull())
        return 0.0;
    qint64 near = 0;
    for (int y = 0; y < picture.height(); y += 2) {
        for (int x = 0; x < picture.width(); x += 2) {
            const QColor c = picture.pixelColor(x, y);
            if (qAbs(c.red() - colour.red()) + qAbs(c.green() - colour.green()) + qAbs(c.blue() - colour.blue()) < 90)
                ++near;
        }
    }
    return double(near) / (((picture.width() + 1) / 2) * ((picture.height() + 1) / 2));
}

} // namespace

class TstWindowE2E : public QObject
{
    Q_OBJECT

    QProcess m_painter;
    QTemporaryDir m_dir;

    // The picker in `mode` with the row of `title` chosen, then OK.
    void pick(int mode, const QString& title)
    {
        RecordParameter::instance()->setWindowModle(mode);
        DlgLockWindow picker(nullptr);
        picker.show();
        picker.initModeSelected();
        auto* list = picker.findChild<QListWidget*>("listWdgWindow");
        // Until something is picked the picker refreshes its rows now and then.
        const auto findRow = [&]() -> QListWidgetItem* {
            for (int i = 0; i < list->count(); ++i)
                if (list->item(i)->toolTip() == title)
                    return list->item(i);
            return nullptr;
        };
        QTRY_VERIFY_WITH_TIMEOUT(findRow(), kLong);
        QListWidgetItem* row = findRow();
        QVERIFY2(row, qPrintable(title));
        if (mode == WindowModle_Single)
            list->setCurrentItem(row);
        else
            qobject_cast<QAbstractButton*>(list->itemWidget(row))->setChecked(true);
        picker.findChild<QToolButton*>("btnRecord")->click();
        QCOMPARE(picker.result(), int(QDialog::Accepted));
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY(initScreencast());
        m_painter.start(QCoreApplication::applicationFilePath(), {"--paint"});
        QVERIFY(m_painter.waitForStarted(kLong));
        // Both windows mapped and listed by the engine.
        QTRY_COMPARE_WITH_TIMEOUT(WindowListManger::instance()->getWindowsList().size(), 2, kLong);
        RecordParameter* rp = RecordParameter::instance();
        rp->setVideoEnable(true);
        rp->chooseVideoContent(true);
        rp->setVideoRect(QRect(0, 0, 1280, 720));
        rp->setVideoOpt(30, RP_Codec_H264, RP_Quality_Medium);
        rp->setUsedVideoFmt(RP_Format_MP4);
        rp->setSysAudioEnable(false);
        rp->setMicEnable(false);
        rp->setCamerastream(false);
    }

    void cleanupTestCase()
    {
        m_painter.kill();
        m_painter.waitForFinished(kLong);
        ScreenRecorder::release();
        WindowListManger::release();
        DeviceManager::release();
        uninitScreencast();
    }

    void chosenWindowRecorded_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("picked");
        QTest::newRow("single window") << int(WindowModle_Single) << "Red window";
        QTest::newRow("only included windows") << int(WindowModle_Multiple) << "Red window";
        QTest::newRow("all but excluded windows") << int(WindowModle_Exclude) << "Blue window";
    }

    void chosenWindowRecorded()
    {
        QFETCH(int, mode);
        QFETCH(QString, picked);
        pick(mode, picked);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(RecordParameter::instance()->getWindowList().size(), 1);

        ScreenRecorder* recorder = ScreenRecorder::instance();
        QVERIFY(recorder->checkTempfilePath());
        QVERIFY(recorder->recordVideo());
        recorder->start();
        const QString path = recorder->getTmpFilePath();
        qint64 first = 0;
        QTRY_VERIFY_WITH_TIMEOUT((first = QFileInfo(path).size()) > 0, kLong);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > first, kLong);
        recorder->stop();

        testmedia::Probe facts;
        QTRY_VERIFY_WITH_TIMEOUT((facts = testmedia::probe(path)).ok, kLong);
        QCOMPARE(facts.videoCodec, QString("h264"));
        const QImage picture = testmedia::pictureAt(path, facts.duration / 2);
        const double red = shareOf(picture, QColor(230, 20, 20));
        const double blue = shareOf(picture, QColor(20, 20, 230));
        qInfo("%dx%d: red %.3f, blue %.3f", picture.width(), picture.height(), red, blue);
        QVERIFY2(red > (mode == WindowModle_Single ? 0.6 : 0.05) && blue < 0.001,
                 qPrintable(QString("red %1, blue %2").arg(red).arg(blue)));
        QFile::remove(path);
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--paint") == 0)
        return paintWindows(argc, argv);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TstWindowE2E test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_window_e2e.moc"
