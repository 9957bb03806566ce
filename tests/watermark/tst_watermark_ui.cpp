// The watermark drop-down, manager and strip over the engine double: unsaved
// changes on leaving, the choice stored after the manager, the button text.
#include <QtTest>
#include <QListWidget>
#include <QMessageBox>
#include <QListWidget>
#include <QPushButton>

#include <memory>

#include "app/RecordHistoryTool.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/ModalDriver.h"
#include "tests/watermark/HostilePictures.h"
#include "watermark/DlgWatermarkManage.h"
#include "watermark/WaterMarkDataManage.h"

namespace {

int presetsInFile()
{
    QFile file(WaterMarkDataManage::dataFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return QJsonDocument::fromJson(file.readAll()).object().value("WaterMarkList").toArray().size();
}

QString g_chosenPicture;

int storedIndex()
{
    return VxSettings::instance()->applicationParam("WatermarkIndex", -99).toInt();
}

} // namespace

class TstWaterMarkUi : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        DlgWatermarkManage::setFileChooser(nullptr);
        WaterMarkDataManage::release();
        QFile::remove(WaterMarkDataManage::dataFilePath());
        VxSettings::instance()->removeApplicationParam("WatermarkIndex");
    }

    void leavingWithUnsavedChanges_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("stays");
        QTest::addColumn<bool>("saved");
        QTest::addColumn<int>("inFile");
        QTest::newRow("Yes saves and leaves") << int(QMessageBox::Yes) << false << true << 3;
        QTest::newRow("No leaves the file alone") << int(QMessageBox::No) << false << false << 0;
        QTest::newRow("Cancel stays") << int(QMessageBox::Cancel) << true << false << 0;
    }

    void leavingWithUnsavedChanges()
    {
        QFETCH(int, answer);
        QFETCH(bool, stays);
        QFETCH(bool, saved);
        QFETCH(int, inFile);
        DlgWatermarkManage dialog;
        dialog.onInitUI();
        dialog.show();
        dialog.findChild<QPushButton*>("btnAddText")->click();
        QVERIFY(dialog.hasUnsavedChanges());

        ModalDriver driver(30000);
        driver.clickButton(answer, "VxMessageBox");
        dialog.findChild<QPushButton*>("btnClose")->click();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(dialog.isVisible(), stays);
        QCOMPARE(dialog.m_bSaved, saved);
        // The choice made before stands only when the question was not answered.
        QCOMPARE(dialog.m_bUseLastSelect, stays);
        QCOMPARE(presetsInFile(), inFile);
    }

    void choiceStoredAfterManager_data()
    {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("takeOver");
        QTest::addColumn<int>("stored");
        QTest::newRow("applied preset") << 1 << true << 1;
        QTest::newRow("past the end of the list") << 5 << true << -1;
        QTest::newRow("left through the question") << 1 << false << 0;
    }

    void choiceStoredAfterManager()
    {
        QFETCH(int, chosen);
        QFETCH(bool, takeOver);
        QFETCH(int, stored);
        RecordHistoryTool strip;
        strip.onPopViewListItemClicked(0, "first"); // the choice before the manager opens
        QList<bool> shown;
        connect(&strip, &RecordHistoryTool::sigShowChildeDlg, this, [&shown](bool show) { shown << show; });

        ModalDriver driver(30000);
        driver.expect([=](QWidget* modal) {
            auto* manager = qobject_cast<DlgWatermarkManage*>(modal);
            QVERIFY(manager);
            manager->m_nSelectIndex = chosen;
            manager->m_bUseLastSelect = takeOver;
            manager->accept();
        });
        strip.onAMWaterMarkClicked();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(storedIndex(), stored);
        QCOMPARE(WaterMarkDataManage::instance()->m_nCurrentIndex, stored);
        QCOMPARE(shown, QList<bool>({false, true}));
    }

    // Each row: the preset in use, the row deleted before Save (-1: none),
    // and the preset in use after Close without Apply (-1: no watermark).
    void saveThenCloseKeepsThePresetInUse_data()
    {
        QTest::addColumn<int>("inUse");
        QTest::addColumn<int>("deleted");
        QTest::addColumn<int>("after");
        QTest::newRow("nothing deleted") << 1 << -1 << 1;
        QTest::newRow("a preset above it deleted") << 1 << 0 << 0;
        QTest::newRow("the preset in use deleted") << 1 << 1 << -1;
        QTest::newRow("no watermark stays none") << -1 << -1 << -1;
    }

    void saveThenCloseKeepsThePresetInUse()
    {
        QFETCH(int, inUse);
        QFETCH(int, deleted);
        QFETCH(int, after);
        WaterMarkDataManage* store = WaterMarkDataManage::instance();
        QList<WaterMarkData> presets = WaterMarkDataManage::defaultWaterMarkData();
        while (presets.size() < 3)
            presets << presets.first();
        for (int i = 0; i < presets.size(); ++i)
            presets[i].m_strWaterMarkName = QStringLiteral("preset %1").arg(i);
        store->setWaterMarkDataList(presets);
        RecordHistoryTool strip;
        strip.onPopViewListItemClicked(inUse, store->getWatermarkName(inUse));
        const QString name = store->getWatermarkName(inUse);

        ModalDriver driver(30000);
        driver.expect([=](QWidget* modal) {
            if (deleted >= 0) {
                modal->findChild<QListWidget*>()->setCurrentRow(deleted);
                modal->findChild<QPushButton*>("btnDelete")->click();
            }
            modal->findChild<QPushButton*>("btnSave")->click();
            modal->findChild<QPushButton*>("btnClose")->click();
        }, "DlgWatermarkManage");
        strip.onAMWaterMarkClicked();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(storedIndex(), after);
        QCOMPARE(store->m_nCurrentIndex, after);
        if (after >= 0)
            QCOMPARE(store->getWatermarkName(after), name);
        QCOMPARE(strip.findChild<QPushButton*>("btnWatermarkOff")->isHidden(), after >= 0);
    }

    // Names too wide for the button lose their middle and keep the whole in
    // the tip; narrow ones stay intact, also after the language is reapplied.
    void buttonTextElided_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("elided");
        QTest::newRow("short name whole") << "Logo" << false;
        QTest::newRow("long name in the middle") << QString("Company ") + QString(60, 'W') + " end" << true;
    }

    void buttonTextElided()
    {
        QFETCH(QString, name);
        QFETCH(bool, elided);
        QList<WaterMarkData> presets = WaterMarkDataManage::defaultWaterMarkData();
        presets[0].m_strWaterMarkName = name;
        WaterMarkDataManage::instance()->setWaterMarkDataList(presets);
        RecordHistoryTool strip;
        strip.onPopViewListItemClicked(0, name);
        auto* button = strip.findChild<QPushButton*>("btnWatermark");
        for (int pass = 0; pass < 2; ++pass) {
            const QString full = name + " (ON)";
            QCOMPARE(button->text() != full, elided);
            if (elided) {
                QVERIFY(button->text().startsWith("Company") && button->text().endsWith("end (ON)"));
                QCOMPARE(button->toolTip(), full);
            }
            QEvent change(QEvent::LanguageChange);
            QApplication::sendEvent(&strip, &change);
        }
    }

    void hostilePictureNotImported_data()
    {
        hostile::addRows();
    }

    // The manager refuses the file with its reason and adds no preset.
    void hostilePictureNotImported()
    {
        QFETCH(QString, file);
        QFETCH(QString, words);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        g_chosenPicture = hostile::make(dir, file);
        QVERIFY(!g_chosenPicture.isEmpty());
        DlgWatermarkManage::setFileChooser([](QWidget*) { return g_chosenPicture; });
        DlgWatermarkManage dialog;
        dialog.onInitUI();
        dialog.show();
        auto* list = dialog.findChild<QListWidget*>("lstPresets");
        const int before = list->count();

        ModalDriver driver(30000);
        QString text;
        driver.expect(
            [&text](QWidget* modal) {
                text = ModalDriver::describe(modal).text;
                ModalDriver::forceClose(modal);
            },
            "VxMessageBox");
        std::unique_ptr<hostile::PipeRelease> release;
        if (file == "pipe.png")
            release = std::make_unique<hostile::PipeRelease>(g_chosenPicture, 3000);
        dialog.findChild<QPushButton*>("btnAddPicture")->click();
        DRIVER_DONE(driver, 30000);
        if (release) {
            release->stop();
            QVERIFY2(!release->released(), "the picture was read from a pipe that had to be opened for it");
        }
        QVERIFY2(text.contains(words), qPrintable(text));
        QCOMPARE(list->count(), before);
        QVERIFY(!dialog.hasUnsavedChanges());
    }
};

QTEST_MAIN(TstWaterMarkUi)
#include "tst_watermark_ui.moc"
