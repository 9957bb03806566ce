// The tool strip runs the history dialog from its label and from the hub,
// keeps a file added meanwhile visible, shows each feature's ON or OFF
// button from the stored state and steps the home window aside around its
// dialogs.
#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "capture/HistoryFileListWidget.h"
#include "app/MainWindowBase.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/ModuleTestHelpers.h"
#include "capture/RecordHistoryDlg.h"
#include "app/RecordHistoryTool.h"
#include "core/RecordParameter.h"
#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "schedule/TaskManage.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "watermark/WaterMarkDataManage.h"
#include "schedule/dlgTaskScheduler.h"

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

namespace {

QList<bool> spyValues(const QSignalSpy& spy)
{
    QList<bool> values;
    for (const QList<QVariant>& args : spy)
        values << args.at(0).toBool();
    return values;
}

template <class T>
T* child(QWidget* parent, const char* name)
{
    T* widget = parent->findChild<T*>(QString::fromLatin1(name));
    if (!widget)
        qWarning("no widget %s", name);
    return widget;
}

void clickLabel(QLabel* label)
{
    QTest::mousePress(label, Qt::LeftButton);
    QTest::mouseRelease(label, Qt::LeftButton);
}

// A task daemon that lists one task, on or off.
class OneTaskClient : public testsupport::ScriptedTaskClient
{
public:
    explicit OneTaskClient(bool enabled)
        : m_enabled(enabled)
    {
    }
    bool listTasks(TaskList& tasks) override
    {
        TaskInfo task;
        task.id = "t1";
        task.name = "nightly";
        task.enabled = m_enabled;
        tasks = {task};
        return true;
    }

private:
    bool m_enabled;
};

} // namespace

class TstToolStrip : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void labelRunsHistoryDialog();
    void hubShowHistoryOpensIt();
    void newFileWhileOpenShowsOnTop();
    void cameraOnlyKeepsHomeHidden();
    void watermarkButtonsFollowStore();
    void notAvailableFeaturesSayWhy();
    void taskButtonsFollowTaskManage();
    void taskWithoutServiceAsksFirst();
    void homeWindowStepsAsideForHistory();
};

void TstToolStrip::cleanup()
{
    RecordParameter::instance()->setTimerEnable(false);
    RecordParameter::instance()->setOnlyRecordCamera(false);
    WaterMarkDataManage::instance()->m_nCurrentIndex = -1;
    VxSettings::instance()->removeApplicationParam("ShowTaskDlg");
    TaskManage::instance()->setClientFactory(nullptr);
    TaskManage::release();
}

void TstToolStrip::labelRunsHistoryDialog()
{
    MainWindowBase* frameless = nullptr;
    RecordHistoryTool tool;
    tool.setMainWindowBase(frameless);
    QSignalSpy spy(&tool, &RecordHistoryTool::sigShowChildeDlg);
    QLabel* label = child<QLabel>(&tool, "label");
    QVERIFY(label);
    QVERIFY(!tool.isShowHistory());

    bool openDuring = false;
    bool selectedDuring = false;
    QList<bool> signalsDuring;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        openDuring = tool.isShowHistory();
        selectedDuring = label->property("selected").toBool();
        signalsDuring = spyValues(spy);
        QCOMPARE(modal, static_cast<QWidget*>(tool.historyDlg()));
        ModalDriver::forceClose(modal);
    });
    clickLabel(label);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(driver.seen().at(0).title, VxProductInfo::instance()->productName());
    QVERIFY(openDuring);
    QVERIFY(selectedDuring);
    QCOMPARE(signalsDuring, QList<bool>{false});
    QCOMPARE(spyValues(spy), (QList<bool>{false, true}));
    QVERIFY(!tool.isShowHistory());
    QVERIFY(!label->property("selected").toBool());

    // A right click is not a request; the dialog is kept for the next run.
    QTest::mousePress(label, Qt::RightButton);
    QTest::mouseRelease(label, Qt::RightButton);
    QCOMPARE(spy.count(), 2);
    RecordHistoryDlg* dialog = tool.historyDlg();
    driver.rejectDialog();
    clickLabel(label);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(tool.historyDlg(), dialog);
}

void TstToolStrip::hubShowHistoryOpensIt()
{
    RecordHistoryTool tool;
    ModalDriver driver;
    bool openDuring = false;
    int nestedRuns = 0;
    driver.expect([&](QWidget* modal) {
        openDuring = tool.isShowHistory();
        // A second request while it runs does not nest another run.
        QSignalSpy again(&tool, &RecordHistoryTool::sigShowChildeDlg);
        emit SignalsTransfer::instance()->showHistory();
        nestedRuns = again.count();
        ModalDriver::forceClose(modal);
    });
    emit SignalsTransfer::instance()->showHistory();
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.seen().size(), 1);
    QVERIFY(openDuring);
    QCOMPARE(nestedRuns, 0);
    QVERIFY(!tool.isShowHistory());
}

void TstToolStrip::newFileWhileOpenShowsOnTop()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    hub->addHistoryFile("/v/older.mp4", HistoryFile_Video, "1*1", "00:00:01", "1 KB");
    RecordHistoryTool tool;
    QComboBox* filter = tool.historyDlg()->findChild<QComboBox*>("cmbFilter");
    QVERIFY(filter);

    QString top;
    bool topVisible = false;
    int filterDuring = -1;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        filter->setCurrentIndex(2);   // videos only
        hub->addHistoryFile("/i/new shot.png", HistoryFile_Image, "1*1", QString(), "2 KB");
        HistoryFileListWidget* list = tool.historyDlg()->historyList();
        top = list->item(0)->text();
        topVisible = !list->item(0)->isHidden();
        filterDuring = filter->currentIndex();
        ModalDriver::forceClose(modal);
    });
    tool.onShowHistory();
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(top, QString("new shot.png"));
    QVERIFY(topVisible);
    QCOMPARE(filterDuring, 0);
    QCOMPARE(filter->currentText(), QString("Show all"));
}

void TstToolStrip::cameraOnlyKeepsHomeHidden()
{
    RecordParameter::instance()->setOnlyRecordCamera(true);
    RecordHistoryTool tool;
    QSignalSpy spy(&tool, &RecordHistoryTool::sigShowChildeDlg);
    ModalDriver driver;
    driver.rejectDialog();
    tool.onShowHistory();
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(spyValues(spy), QList<bool>{false});
    QVERIFY(!tool.isShowHistory());
}

void TstToolStrip::watermarkButtonsFollowStore()
{
    WaterMarkDataManage* store = WaterMarkDataManage::instance();
    QVERIFY(!store->getWaterMarkDataList().isEmpty());
    {
        store->m_nCurrentIndex = -1;
        RecordHistoryTool tool;
        tool.setMainWindowBase(nullptr);
        auto* on = child<QPushButton>(&tool, "btnWatermark");
        auto* off = child<QPushButton>(&tool, "btnWatermarkOff");
        QVERIFY(on->isHidden());
        QVERIFY(!off->isHidden());
        QCOMPARE(off->text(), QString("Record Watermark (OFF)"));
    }
    {
        store->m_nCurrentIndex = 0;
        RecordHistoryTool tool;
        tool.setMainWindowBase(nullptr);
        auto* on = child<QPushButton>(&tool, "btnWatermark");
        auto* off = child<QPushButton>(&tool, "btnWatermarkOff");
        QVERIFY(!on->isHidden());
        QVERIFY(off->isHidden());
        QCOMPARE(on->text(), store->getWatermarkName(0) + " (ON)");

        // A name too long for the button is shortened in the middle and
        // told whole in the tool tip; a short one is shown as it is.
        QString longName = QString(80, QChar('x')) + "END";
        tool.onElideText(on, longName);
        QVERIFY(on->text() != longName);
        QVERIFY(on->text().contains(QChar(0x2026)));
        QVERIFY(on->text().endsWith("END"));
        QCOMPARE(on->toolTip(), longName);
        QString shortName = "Logo (ON)";
        tool.onElideText(on, shortName);
        QCOMPARE(on->text(), shortName);
    }
}

void TstToolStrip::notAvailableFeaturesSayWhy()
{
    RecordHistoryTool tool;
    QSignalSpy spy(&tool, &RecordHistoryTool::sigShowChildeDlg);
    for (const char* name : {"btnTimeDurationOff", "btnWatermarkOff"}) {
        auto* button = child<QPushButton>(&tool, name);
        QVERIFY(button);
        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok);
        button->click();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(driver.seen().at(0).text, QString("This setting is not available in this version yet."));
    }
    QCOMPARE(spy.count(), 0);
}

void TstToolStrip::taskButtonsFollowTaskManage()
{
    TaskManage* tasks = TaskManage::instance();
    {
        // No task service: OFF.
        RecordHistoryTool tool;
        QVERIFY(child<QPushButton>(&tool, "btnTask")->isHidden());
        QVERIFY(!child<QPushButton>(&tool, "btnTaskOff")->isHidden());
    }
    tasks->setClientFactory([] { return new OneTaskClient(true); });
    tasks->connectXPCServer();
    RecordHistoryTool tool;
    auto* on = child<QPushButton>(&tool, "btnTask");
    auto* off = child<QPushButton>(&tool, "btnTaskOff");
    QVERIFY(!on->isHidden());
    QVERIFY(off->isHidden());

    tasks->setClientFactory([] { return new OneTaskClient(false); });
    tasks->connectXPCServer();
    tool.onCheckTaskState(true);
    QVERIFY(on->isHidden());
    QVERIFY(!off->isHidden());

    // With the service there, a click opens the task dialog at once and
    // clears the first-time flag.
    QSignalSpy spy(&tool, &RecordHistoryTool::sigShowChildeDlg);
    ModalDriver driver;
    QString className;
    driver.expect([&](QWidget* modal) {
        className = modal->metaObject()->className();
        ModalDriver::forceClose(modal);
    });
    off->click();
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(className, QString("dlgTaskScheduler"));
    QCOMPARE(spyValues(spy), (QList<bool>{false, true}));
    QVERIFY(!VxSettings::instance()->applicationParam("ShowTaskDlg", true).toBool());
}

void TstToolStrip::taskWithoutServiceAsksFirst()
{
    RecordHistoryTool tool;
    QSignalSpy spy(&tool, &RecordHistoryTool::sigShowChildeDlg);
    auto* off = child<QPushButton>(&tool, "btnTaskOff");

    // First time, declined: no dialog, no stepping aside, flag kept.
    {
        ModalDriver driver;
        QString okText;
        QString cancelText;
        driver.expect([&](QWidget* modal) {
            auto* box = qobject_cast<VxMessageBox*>(modal);
            QVERIFY(box);
            okText = box->button(QMessageBox::Ok)->text();
            cancelText = box->button(QMessageBox::Cancel)->text();
        });
        driver.clickButton(QMessageBox::Ok);
        off->click();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(okText, QString("Install later"));
        QCOMPARE(cancelText, QString("Install now"));
        QVERIFY(driver.seen().at(0).text.startsWith("If it's your first time using Task Schedule"));
        QCOMPARE(spy.count(), 0);
        QVERIFY(VxSettings::instance()->applicationParam("ShowTaskDlg", true).toBool());
    }
    // "Install now": the task dialog runs and the flag is cleared ...
    {
        ModalDriver driver;
        driver.clickButton(QMessageBox::Cancel);
        QString className;
        driver.expect([&](QWidget* modal) {
            className = modal->metaObject()->className();
            ModalDriver::forceClose(modal);
        });
        off->click();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(className, QString("dlgTaskScheduler"));
        QCOMPARE(spyValues(spy), (QList<bool>{false, true}));
        QVERIFY(!VxSettings::instance()->applicationParam("ShowTaskDlg", true).toBool());
    }
    // ... so the next time the wording is the "Fix" one.
    {
        ModalDriver driver;
        QString okText;
        driver.expect([&](QWidget* modal) {
            okText = static_cast<VxMessageBox*>(modal)->button(QMessageBox::Ok)->text();
        });
        driver.clickButton(QMessageBox::Ok);
        off->click();
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(okText, QString("Fix later"));
        QVERIFY(driver.seen().at(0).text.startsWith("Detected that the Task Schedule configuration is abnormal"));
        QCOMPARE(spy.count(), 2);
    }
}

void TstToolStrip::homeWindowStepsAsideForHistory()
{
    testsupport::ShownFrame frame;
    MainWindowBase* base = frame.get();
    auto* tool = base->findChild<RecordHistoryTool*>("recordHistory");
    QVERIFY(tool);
    QVERIFY(base->isVisible());
    bool frameVisibleDuring = true;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        frameVisibleDuring = base->isVisible();
        QCOMPARE(modal->parentWidget(), static_cast<QWidget*>(tool));
        ModalDriver::forceClose(modal);
    });
    emit SignalsTransfer::instance()->showHistory();
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.seen().size(), 1);
    QVERIFY(!frameVisibleDuring);
    QVERIFY(base->isVisible());
    frame.reset();
}

QTEST_MAIN(TstToolStrip)
#include "tst_toolstrip.moc"
