#include "app/RecordHistoryTool.h"

#include <QEvent>
#include <QMenu>
#include <QWidgetAction>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include "app/MainWindowBase.h"
#include "capture/RecordHistoryDlg.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "schedule/TaskManage.h"
#include "widgets/FfTimeSetting.h"
#include "widgets/UIHelper.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"
#include "watermark/DlgWatermarkManage.h"
#include "watermark/WaterMarkDataManage.h"
#include "watermark/WhaterMarkMenuDlg.h"
#include "schedule/dlgTaskScheduler.h"
#include "ui_RecordHistoryTool.h"

namespace {

const char* const kShowTaskDlgKey = "ShowTaskDlg";
const char* const kWatermarkIndexKey = "WatermarkIndex";

QString productName()
{
    return VxProductInfo::instance()->productName("");
}

void repolish(QWidget* widget)
{
    // An own (empty) sheet makes the style read the dynamic property again.
    widget->setStyleSheet(QStringLiteral("/* */"));
}

} // namespace

RecordHistoryTool::RecordHistoryTool(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::RecordHistoryTool)
{
    ui->setupUi(this);
    m_pTimeSetting = new FfTimeSetting(this);
    connect(m_pTimeSetting, &FfTimeSetting::statusChanged, this, &RecordHistoryTool::onCheckDurationState);

    connect(SignalsTransfer::instance(), &SignalsTransfer::showHistory, this, &RecordHistoryTool::onShowHistory);

    m_pDurationMenu = new QMenu(this);
    m_pDurationMenu->setObjectName(QStringLiteral("durationMenu"));
    auto* action = new QWidgetAction(m_pDurationMenu);
    action->setDefaultWidget(m_pTimeSetting);
    m_pDurationMenu->addAction(action);

    connect(ui->btnTimeDuration, &QPushButton::clicked, this, &RecordHistoryTool::onShowDurationMenu);
    connect(ui->btnTimeDurationOff, &QPushButton::clicked, this, &RecordHistoryTool::onShowDurationMenu);
    connect(ui->btnTask, &QPushButton::clicked, this, &RecordHistoryTool::onShowTaskDlg);
    connect(ui->btnTaskOff, &QPushButton::clicked, this, &RecordHistoryTool::onShowTaskDlg);
    connect(ui->btnWatermark, &QPushButton::clicked, this, &RecordHistoryTool::onShowWhaterMarkMenuDlg);
    connect(ui->btnWatermarkOff, &QPushButton::clicked, this, &RecordHistoryTool::onShowWhaterMarkMenuDlg);
    ui->label->installEventFilter(this);
    applyIcons();

    m_pHistoryDlg = new RecordHistoryDlg(this);
    // The history list puts a new file on top by itself (connected first);
    // the type filter must go back to "Show all" for it to be seen.
    connect(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile, this,
            [this](const HistoryFileUtils::HistoryFile&) {
                if (m_pHistoryDlg)
                    m_pHistoryDlg->isAddedHistory();
            });
    m_pHistoryDlg->setWindowTitle(productName());
    m_pHistoryDlg->setModal(true);
    connect(m_pHistoryDlg, &QDialog::finished, this, &RecordHistoryTool::onHistoryClosed);

    onCheckDurationState(false);
    onCheckTaskState(false);
    onInitWaterMark();
}

void RecordHistoryTool::applyIcons()
{
    // The history entry is a label: its picture goes in as rich text, which
    // keeps the one widget that reacts to the pointer.
    ui->label->setTextFormat(Qt::RichText);
    ui->label->setAttribute(Qt::WA_Hover);
    ui->label->setText(QStringLiteral("<img src=\":/home/history.svg\" width=\"16\" height=\"16\" "
                                      "align=\"middle\">&nbsp;&nbsp;%1")
                           .arg(tr("Recording history").toHtmlEscaped()));
    const struct
    {
        QPushButton* button;
        const char* icon;
    } buttons[] = {{ui->btnTimeDuration, ":/home/timer.svg"}, {ui->btnTimeDurationOff, ":/home/timer.svg"},
                   {ui->btnTask, ":/home/task.svg"},          {ui->btnTaskOff, ":/home/task.svg"},
                   {ui->btnWatermark, ":/home/watermark.svg"}, {ui->btnWatermarkOff, ":/home/watermark.svg"}};
    for (const auto& entry : buttons) {
        entry.button->setIcon(QIcon(QLatin1String(entry.icon)));
        entry.button->setIconSize(QSize(16, 16));
    }
}

RecordHistoryTool::~RecordHistoryTool()
{
    // Deleted now rather than deferred: the strip may go after the event
    // loop has ended. Whoever waits for the window to close goes on.
    delete m_pHistoryDlg;
    m_pHistoryDlg = nullptr;
    if (m_bShowHistory)
        if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
            hub->setHistoryOpen(false);
    if (m_pTimeSetting) {
        disconnect(m_pTimeSetting, nullptr, this, nullptr);
        delete m_pTimeSetting;
        m_pTimeSetting = nullptr;
    }
    delete ui;
}

void RecordHistoryTool::setMainWindowBase(MainWindowBase* frame)
{
    m_pMainWindowBase = frame;
    onInitWaterMark();
}

void RecordHistoryTool::onCheckDurationState(bool)
{
    const bool on = RecordParameter::instance()->timerEnable();
    ui->btnTimeDuration->setVisible(on);
    ui->btnTimeDurationOff->setVisible(!on);
}

void RecordHistoryTool::onCheckTaskState(bool)
{
    const bool on = TaskManage::instance()->isOpenTask();
    ui->btnTask->setVisible(on);
    ui->btnTaskOff->setVisible(!on);
}

void RecordHistoryTool::onShowHistory()
{
    // A second request while the dialog is open (the hub fires from
    // several places) only waits for the same window to close.
    if (m_bShowHistory || !m_pHistoryDlg)
        return;
    m_bShowHistory = true;
    SignalsTransfer::instance()->setHistoryOpen(true);
    emit sigShowChildeDlg(false);
    // Modal, without a loop of its own: whoever asked goes on once it is
    // closed (onHistoryClosed).
    m_pHistoryDlg->showNormal();
    UIHelper::moveParentWidgetCenter(m_pHistoryDlg, m_pMainWindowBase, true);
}

void RecordHistoryTool::onHistoryClosed()
{
    if (!m_bShowHistory)
        return;
    m_bShowHistory = false;
    if (!RecordParameter::instance()->isOnlyRecordCamera())
        emit sigShowChildeDlg(true);
    SignalsTransfer::instance()->setHistoryOpen(false);
}

void RecordHistoryTool::onShowDurationMenu()
{
    auto* button = qobject_cast<QPushButton*>(sender());
    if (button != ui->btnTimeDuration && button != ui->btnTimeDurationOff)
        return;
    const QPoint at = button->mapToGlobal(QPoint(0, button->height()));
    if (!m_pDurationMenu || at.isNull())
        return;
    m_pTimeSetting->updateComboBox();
    // The panel stores its values as the menu closes and says so through
    // statusChanged, which brings the buttons up to date.
    m_pDurationMenu->exec(at);
}

void RecordHistoryTool::onShowTaskDlg()
{
    const bool first = VxSettings::instance()->applicationParam(kShowTaskDlgKey, true).toBool();
    TaskManage* tasks = TaskManage::instance();
    if (!tasks->isConnected()) {
        QPointer<VxMessageBox> box = new VxMessageBox(m_pMainWindowBase);
        box->setIcon(VxMessageBox::kIconWarning);
        box->setMsgTitle(productName());
        box->setButtons(QMessageBox::Ok);
        if (first) {
            box->addButton(tr("Install later"), QMessageBox::Ok);
            box->addButton(tr("Install now"), QMessageBox::Cancel);
            box->setLabelInfo(tr("If it's your first time using Task Schedule, please click the Install now button "
                                 "to configure it."));
        } else {
            box->addButton(tr("Fix later"), QMessageBox::Ok);
            box->addButton(tr("Fix now"), QMessageBox::Cancel);
            box->setLabelInfo(tr("Detected that the Task Schedule configuration is abnormal now, and you can't use "
                                 "this function usually. Please fix it right away. If you select Fix later, the "
                                 "currently scheduled task will be turned off. Please select whether to fix it "
                                 "right away."));
        }
        box->setDefaultButton(QMessageBox::Cancel);
        QPointer<RecordHistoryTool> self(this);
        const int answer = box->exec();
        delete box.data();
        if (!self)
            return;
        if (answer == QMessageBox::Ok) {
            onCheckTaskState(false);
            return;
        }
    }

    emit sigShowChildeDlg(false);
    QPointer<RecordHistoryTool> self(this);
    QPointer<dlgTaskScheduler> dialog = new dlgTaskScheduler(m_pMainWindowBase);
    dialog->setModal(true);
    dialog->exec();
    delete dialog.data();
    if (!self)
        return;
    VxSettings::instance()->setApplicationParam(kShowTaskDlgKey, false);
    onCheckTaskState(false);
    emit sigShowChildeDlg(true);
}

WhaterMarkMenuDlg* RecordHistoryTool::waterMarkMenu() const
{
    return m_pWaterMarkMenuDlg;
}

void RecordHistoryTool::onShowWhaterMarkMenuDlg()
{
    if (!m_pWaterMarkMenuDlg)
        return;
    auto* button = qobject_cast<QPushButton*>(sender());
    if (!button)
        button = ui->btnWatermark->isVisible() ? ui->btnWatermark : ui->btnWatermarkOff;
    m_pWaterMarkMenuDlg->onLoadData(WaterMarkDataManage::instance()->m_nCurrentIndex);
    button->clearFocus();
    WaterMarkDataManage::setPosShowDlg(m_pWaterMarkMenuDlg, button, button->rect());
    m_pWaterMarkMenuDlg->show();
    m_pWaterMarkMenuDlg->activateWindow();
}

void RecordHistoryTool::onInitWaterMark()
{
    WaterMarkDataManage* store = WaterMarkDataManage::instance();
    if (!m_pWaterMarkMenuDlg) {
        m_pWaterMarkMenuDlg = new WhaterMarkMenuDlg(this);
        connect(m_pWaterMarkMenuDlg, &WhaterMarkMenuDlg::sigBtnAMWaterMarkClicked, this,
                &RecordHistoryTool::onAMWaterMarkClicked);
        connect(m_pWaterMarkMenuDlg, &WhaterMarkMenuDlg::sigPopViewListItemClicked, this,
                &RecordHistoryTool::onPopViewListItemClicked);
    }
    const int index = store->m_nCurrentIndex;
    onPopViewListItemClicked(index, store->getWatermarkName(index));
}

void RecordHistoryTool::onPopViewListItemClicked(int index, QString name, int)
{
    WaterMarkDataManage* store = WaterMarkDataManage::instance();
    store->m_nCurrentIndex = index;
    const bool on = index != -1;
    ui->btnWatermark->setVisible(on);
    ui->btnWatermarkOff->setVisible(!on);
    QString text = on ? name + tr(" (ON)") : tr("Record Watermark (OFF)");
    onElideText(on ? ui->btnWatermark : ui->btnWatermarkOff, text);
    if (m_pWaterMarkMenuDlg && !m_pWaterMarkMenuDlg->isHidden())
        m_pWaterMarkMenuDlg->accept();
    VxSettings::instance()->setApplicationParam(kWatermarkIndexKey, index);
    // Only a row the user picked prepares the picture; restoring the stored
    // choice at start-up or after a language change does not.
    if (m_pWaterMarkMenuDlg && sender() == m_pWaterMarkMenuDlg && on)
        QTimer::singleShot(1, this, [index] { WaterMarkDataManage::instance()->saveCurWaterMarkEditImg(index); });
}

void RecordHistoryTool::onAMWaterMarkClicked()
{
    if (m_pWatermarkManage)
        return;
    emit sigShowChildeDlg(false);
    if (m_pWaterMarkMenuDlg && !m_pWaterMarkMenuDlg->isHidden())
        m_pWaterMarkMenuDlg->accept();
    m_pWatermarkManage = new DlgWatermarkManage(m_pMainWindowBase);
    m_pWatermarkManage->onInitUI();
    connect(m_pWatermarkManage, &QDialog::finished, this, &RecordHistoryTool::onWatermarkManageFinished);
    m_pWatermarkManage->exec();
}

void RecordHistoryTool::onWatermarkManageFinished()
{
    DlgWatermarkManage* manager = m_pWatermarkManage;
    if (!manager)
        return;
    m_pWatermarkManage = nullptr;
    manager->deleteLater();
    if (manager->result() != QDialog::Accepted && !manager->m_bSaved) {
        emit sigShowChildeDlg(true);
        return;
    }
    WaterMarkDataManage* store = WaterMarkDataManage::instance();
    int index = manager->m_bUseLastSelect ? manager->m_nSelectIndex : store->m_nCurrentIndex;
    // The list may have shrunk while the manager was open: an index past its
    // end would be stored and name no preset.
    if (index < -1 || index >= store->getWaterMarkDataList().size())
        index = -1;
    if (m_pWaterMarkMenuDlg)
        m_pWaterMarkMenuDlg->onLoadData(index);
    if (manager->m_bUseLastSelect)
        onPopViewListItemClicked(index, store->getWatermarkName(index));
    store->saveWaterMarkDataFile();
    emit sigShowChildeDlg(true);
}

void RecordHistoryTool::onElideText(QPushButton* button, QString& text)
{
    if (!button)
        return;
    // Measured against the button's largest width: before the first layout
    // its current width is only a default and would shorten every text.
    const int available = static_cast<int>(button->maximumWidth() - 35 * VxResourceMgr::instance()->getZoomDPI());
    const QFontMetrics metrics(font());
    if (metrics.boundingRect(text).width() > available) {
        button->setText(metrics.elidedText(text, Qt::ElideMiddle, available));
        button->setToolTip(text);
    } else {
        button->setText(text);
    }
}

bool RecordHistoryTool::eventFilter(QObject* watched, QEvent* event)
{
    const bool press = event->type() == QEvent::MouseButtonPress;
    const bool release = event->type() == QEvent::MouseButtonRelease;
    // Only a press or a release is a QMouseEvent: the label gets every kind.
    if (watched == ui->label && (press || release)
        && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (press) {
            ui->label->setProperty("selected", true);
            repolish(ui->label);
        } else {
            onShowHistory();
            ui->label->setProperty("selected", false);
            repolish(ui->label);
        }
    }
    return QFrame::eventFilter(watched, event);
}

void RecordHistoryTool::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        ui->retranslateUi(this);
        applyIcons();
        onCheckDurationState(false);
        onInitWaterMark();
    }
}
