// The hotkey reminder stores its choice however it closes; the preferences
// strip runs one dialog at a time, reports it around the run, and lets the
// frame close it; the hotkey handler reaches the GUI thread from any thread.
#include <QCheckBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QThread>
#include <QtTest>

#include <thread>

#include "preferences/DlgHotKeyMessage.h"
#include "preferences/HotKeyCallback.h"
#include "tests/support/ModalDriver.h"
#include "preferences/OptionDialog.h"
#include "core/RecordTypes.h"
#include "preferences/ShortcutTool.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

namespace {

bool storedRemind()
{
    return VxSettings::instance()->applicationParam("HotkeyRemind", false).toBool();
}

QList<bool> spyValues(const QSignalSpy& spy)
{
    QList<bool> values;
    for (const QList<QVariant>& args : spy)
        values << args.at(0).toBool();
    return values;
}

} // namespace

class TstPreferences : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();
    void hotKeyReminderStoresChoice();
    void showOptionDlgOneAtATime();
    void hideOptionDlgClosesIt();
    void stripDeletedWhileOpen();
    void hotKeyFromOtherThread();
    void hotKeyAfterHubReleased();
};

void TstPreferences::cleanup()
{
    VxSettings::instance()->removeApplicationParam("HotkeyRemind");
    SignalsTransfer::release();
}

void TstPreferences::hotKeyReminderStoresChoice()
{
    DlgHotKeyMessage reminder(nullptr);
    QCOMPARE(reminder.windowTitle(), VxProductInfo::instance()->productName());
    auto* check = reminder.findChild<QCheckBox*>("chkRemind");
    QVERIFY(check);
    QCOMPARE(check->text(), QString("Don't remind me"));

    // Ticked and confirmed.
    ModalDriver driver;
    bool shownUnticked = false;
    driver.expect([&](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>("chkRemind");
        shownUnticked = !box->isChecked();
        box->setChecked(true);
        modal->findChild<QPushButton*>("btnOk")->click();
    }, "DlgHotKeyMessage");
    QCOMPARE(reminder.exec(), int(QDialog::Accepted));
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QVERIFY(shownUnticked);
    QVERIFY(storedRemind());

    // Kept and run again: it shows the stored choice; untick and Escape.
    bool shownTicked = false;
    driver.expect([&](QWidget* modal) {
        auto* box = modal->findChild<QCheckBox*>("chkRemind");
        shownTicked = box->isChecked();
        box->setChecked(false);
    }, "DlgHotKeyMessage");
    driver.pressKey(Qt::Key_Escape, "DlgHotKeyMessage");
    QCOMPARE(reminder.exec(), int(QDialog::Rejected));
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QVERIFY(shownTicked);
    QVERIFY(!storedRemind());

    // Closed from outside with the box ticked: stored too.
    driver.expect([](QWidget* modal) {
        modal->findChild<QCheckBox*>("chkRemind")->setChecked(true);
        modal->close();
    });
    reminder.exec();
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QVERIFY(storedRemind());
}

void TstPreferences::showOptionDlgOneAtATime()
{
    ShortcutTool tool;
    QSignalSpy spy(&tool, &ShortcutTool::sigShowChildeDlg);
    QPointer<OptionDialog> seen;
    int pageShown = -1;
    QList<bool> duringSecondCall;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        seen = qobject_cast<OptionDialog*>(modal);
        if (!seen)
            return;
        pageShown = seen->currentPage();
        QVERIFY(seen->isModal());
        // A second request while one is open returns at once.
        tool.showOptionDlg(SETTINGPAGE_Mouse);
        duringSecondCall = spyValues(spy);
        QCOMPARE(ShortcutTool::openOptionDlg(), seen.data());
        seen->reject();
    }, "OptionDialog");
    tool.showOptionDlg(SETTINGPAGE_Output);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(pageShown, int(SETTINGPAGE_Output));
    QCOMPARE(duringSecondCall, (QList<bool>{false, false}));
    QCOMPARE(spyValues(spy), (QList<bool>{false, false, true}));
    QVERIFY(seen.isNull());   // deleted after its run
    QVERIFY(!ShortcutTool::openOptionDlg());

    // And it opens again afterwards.
    driver.rejectDialog("OptionDialog");
    tool.showOptionDlg(SETTINGPAGE_Record);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QCOMPARE(spyValues(spy), (QList<bool>{false, false, true, false, true}));
}

void TstPreferences::hideOptionDlgClosesIt()
{
    ShortcutTool::hideOptionDlg();   // nothing open: nothing happens
    ShortcutTool tool;
    QSignalSpy spy(&tool, &ShortcutTool::sigShowChildeDlg);
    QPointer<OptionDialog> seen;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        seen = qobject_cast<OptionDialog*>(modal);
        ShortcutTool::hideOptionDlg();
    }, "OptionDialog");
    tool.showOptionDlg(SETTINGPAGE_Mouse);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QVERIFY(seen.isNull());
    QVERIFY(!ShortcutTool::openOptionDlg());
    QCOMPARE(spyValues(spy), (QList<bool>{false, true}));
}

void TstPreferences::stripDeletedWhileOpen()
{
    QPointer<ShortcutTool> tool = new ShortcutTool();
    QPointer<OptionDialog> seen;
    ModalDriver driver;
    driver.expect([&](QWidget* modal) {
        seen = qobject_cast<OptionDialog*>(modal);
        delete tool.data();
    }, "OptionDialog");
    tool->showOptionDlg(SETTINGPAGE_Mouse);
    QVERIFY(driver.waitFinished());
    VERIFY_DRIVER(driver);
    QVERIFY(tool.isNull());
    QVERIFY(seen.isNull());
    QVERIFY(!ShortcutTool::openOptionDlg());
}

void TstPreferences::hotKeyFromOtherThread()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    QList<int> ids;
    bool onGuiThread = true;
    connect(hub, &SignalsTransfer::hotKeyPressed, this, [&](int id) {
        ids << id;
        onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
    });
    std::thread grabber([] {
        callback::onAction(RP_HotKey_Snapshot);
        callback::onAction(RP_HotKey_Stop);
    });
    grabber.join();
    QVERIFY(ids.isEmpty());   // delivered by the GUI thread's event loop
    QTRY_COMPARE(ids, (QList<int>{RP_HotKey_Snapshot, RP_HotKey_Stop}));
    QVERIFY(onGuiThread);

    // On the GUI thread it is emitted at once.
    callback::onAction(RP_HotKey_Float);
    QCOMPARE(ids, (QList<int>{RP_HotKey_Snapshot, RP_HotKey_Stop, RP_HotKey_Float}));
}

void TstPreferences::hotKeyAfterHubReleased()
{
    SignalsTransfer::instance();
    SignalsTransfer::release();
    std::thread grabber([] { callback::onAction(RP_HotKey_Pause); });
    grabber.join();
    QTest::qWait(20);
    callback::onAction(RP_HotKey_Pause);
    QVERIFY(!SignalsTransfer::existing());
}

QTEST_MAIN(TstPreferences)
#include "tst_preferences.moc"
