#include "schedule/dlgTaskScheduler.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/log/Log.h"
#include "schedule/TaskClientCall.h"
#include "schedule/TaskEditDlg.h"
#include "schedule/TaskManage.h"
#include "schedule/TaskServiceSetup.h"
#include "widgets/FfSwitchButton.h"

namespace {

const char* kTimeFormat = "yyyy-MM-dd HH:mm:ss";

QString recordKindText(int recwhat)
{
    switch (recwhat) {
    case 1: return dlgTaskScheduler::tr("Video");
    case 2: return dlgTaskScheduler::tr("Audio");
    case 4: return dlgTaskScheduler::tr("Webcam");
    default: return dlgTaskScheduler::tr("Unknown");
    }
}

QString startText(const TaskInfo& task)
{
    const QString time = task.startTime.time().toString(QStringLiteral("HH:mm:ss"));
    if (task.repeat == TaskRepeat_Daily)
        return dlgTaskScheduler::tr("Daily at %1").arg(time);
    if (task.repeat == TaskRepeat_Weekdays) {
        QStringList days;
        for (int d = 0; d < 7; ++d) {
            if (task.weekdays & (1 << d))
                days << QLocale().dayName(d + 1, QLocale::ShortFormat);
        }
        return dlgTaskScheduler::tr("%1 at %2").arg(days.join(QStringLiteral(", ")), time);
    }
    return task.startTime.toString(QLatin1String(kTimeFormat));
}

QString stopText(const TaskInfo& task)
{
    const RecordInfo& rec = task.record;
    switch (rec.stopWay) {
    case TaskStopWay_Length:
        if (rec.lengthSeconds > 0)
            return dlgTaskScheduler::tr("After %1").arg(QTime(0, 0).addSecs(int(rec.lengthSeconds)).toString(
                QStringLiteral("HH:mm:ss")));
        return dlgTaskScheduler::tr("By hand");
    case TaskStopWay_Time:
        // A repeating task stops at that time of day on each of its runs.
        return dlgTaskScheduler::tr("At %1").arg(task.repeat == TaskRepeat_Once
                                                     ? rec.stopTime.toString(QLatin1String(kTimeFormat))
                                                     : rec.stopTime.time().toString(QStringLiteral("HH:mm:ss")));
    default:
        return dlgTaskScheduler::tr("By hand");
    }
}

QString endActionText(RecStopEvent action)
{
    switch (action) {
    case RecStopEvent_ShutDown: return dlgTaskScheduler::tr("Shut down computer");
    case RecStopEvent_Sleep: return dlgTaskScheduler::tr("Make computer sleep");
    case RecStopEvent_Exit: return dlgTaskScheduler::tr("Exit program");
    default: return dlgTaskScheduler::tr("Do nothing");
    }
}

QPushButton* iconButton(QWidget* parent, const char* name, const char* icon)
{
    auto* button = new QPushButton(parent);
    button->setObjectName(QLatin1String(name));
    button->setIcon(QIcon(QStringLiteral(":/schedule/%1.svg").arg(QLatin1String(icon))));
    return button;
}

} // namespace

dlgTaskScheduler::dlgTaskScheduler(QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("dlgTaskScheduler"));
    m_pStack = new QStackedWidget(this);
    auto* pageConnect = new QWidget(m_pStack);
    buildConnectPage(pageConnect);
    auto* pageTasks = new QWidget(m_pStack);
    buildTasksPage(pageTasks);
    m_pStack->addWidget(pageConnect);
    m_pStack->addWidget(pageTasks);

    m_pBtnClose = new QPushButton(this);
    m_pBtnClose->setObjectName(QStringLiteral("btnClose"));
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_pBtnClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pStack, 1);
    layout->addLayout(buttons);
    resize(900, 400);
    applyScheduleLook(this);
    connect(m_pBtnClose, &QPushButton::clicked, this, &QDialog::accept);

    // Texts first: the list is then filled once, with the daemon's tasks.
    retranslateDerived();
    showState();
    postCreateDerivedDialog(true);
}

dlgTaskScheduler::~dlgTaskScheduler() = default;

void dlgTaskScheduler::buildConnectPage(QWidget* page)
{
    page->setObjectName(QStringLiteral("pageNotConnected"));
    auto* picture = new QLabel(page);
    picture->setPixmap(QIcon(QStringLiteral(":/schedule/clock.svg")).pixmap(48, 48));
    m_pLblNotConnected = new QLabel(page);
    m_pLblNotConnected->setObjectName(QStringLiteral("lblNotConnected"));
    m_pLblNotConnected->setWordWrap(true);
    m_pLblNotConnected->setAlignment(Qt::AlignCenter);
    m_pLblUnsafe = new QLabel(page);
    m_pLblUnsafe->setObjectName(QStringLiteral("lblUnsafe"));
    m_pLblUnsafe->setWordWrap(true);
    m_pLblUnsafe->setAlignment(Qt::AlignCenter);
    m_pBtnInstall = iconButton(page, "btnInstall", "install");
    auto* layout = new QVBoxLayout(page);
    layout->addStretch(1);
    layout->addWidget(picture, 0, Qt::AlignHCenter);
    layout->addWidget(m_pLblNotConnected);
    layout->addWidget(m_pLblUnsafe);
    layout->addWidget(m_pBtnInstall, 0, Qt::AlignHCenter);
    layout->addStretch(1);
    connect(m_pBtnInstall, &QPushButton::clicked, this, &dlgTaskScheduler::onBtnInstallClicked);
}

void dlgTaskScheduler::buildTasksPage(QWidget* page)
{
    page->setObjectName(QStringLiteral("pageTasks"));
    m_pLblTasks = new QLabel(page);
    m_pTaskList = new QTreeWidget(page);
    m_pTaskList->setObjectName(QStringLiteral("treeTasks"));
    m_pTaskList->setRootIsDecorated(false);
    m_pTaskList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTaskList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTaskList->setColumnCount(ColumnCount);
    m_pBtnAdd = iconButton(page, "btnAdd", "add");
    m_pBtnEdit = iconButton(page, "btnEdit", "edit");
    m_pBtnDelete = iconButton(page, "btnDelete", "delete");
    m_pBtnUninstall = iconButton(page, "btnUninstall", "uninstall");
    auto* row = new QHBoxLayout();
    row->addWidget(m_pBtnAdd);
    row->addWidget(m_pBtnEdit);
    row->addWidget(m_pBtnDelete);
    row->addStretch(1);
    row->addWidget(m_pBtnUninstall);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(m_pLblTasks);
    layout->addWidget(m_pTaskList, 1);
    layout->addLayout(row);
    connect(m_pBtnAdd, &QPushButton::clicked, this, &dlgTaskScheduler::onBtnAddClicked);
    connect(m_pBtnEdit, &QPushButton::clicked, this, &dlgTaskScheduler::onBtnEditClicked);
    connect(m_pBtnDelete, &QPushButton::clicked, this, &dlgTaskScheduler::onBtnDeleteClicked);
    connect(m_pBtnUninstall, &QPushButton::clicked, this, &dlgTaskScheduler::onBtnUninstallClicked);
    connect(m_pTaskList, &QTreeWidget::itemDoubleClicked, this, &dlgTaskScheduler::onBtnEditClicked);
}

int dlgTaskScheduler::currentPage() const
{
    return m_pStack->currentIndex();
}

void dlgTaskScheduler::showUnsafePlace()
{
    QString problem;
    taskDaemonSocketName(&problem);
    m_pLblUnsafe->setText(problem.isEmpty() ? QString()
                                            : tr("The task service cannot be used safely: %1. It needs a folder "
                                                 "that belongs to you alone.")
                                                  .arg(problem));
    m_pLblUnsafe->setVisible(!problem.isEmpty());
    m_pBtnInstall->setEnabled(problem.isEmpty());
}

void dlgTaskScheduler::showState()
{
    showUnsafePlace();
    TaskManage* manage = TaskManage::instance();
    if (manage->isConnected()) {
        manage->reloadTasks();
        fillTasks(manage->tasks());
        m_pStack->setCurrentIndex(PageTasks);
    } else {
        fillTasks(TaskList());
        m_pStack->setCurrentIndex(PageNotConnected);
    }
}

void dlgTaskScheduler::onBtnInstallClicked()
{
    Log("TaskManage", LogLevel::Info, "installing the task service");
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool ok = TaskServiceSetup::install();
    if (ok)
        TaskManage::instance()->connectXPCServer();
    QApplication::restoreOverrideCursor();
    if (!ok || !TaskManage::instance()->isConnected()) {
        VxMessageBox::information(this, VxProductInfo::instance()->productName(),
                                  tr("The task service could not be installed or did not start. Scheduled "
                                     "recordings stay unavailable; the log file tells why."));
    }
    showState();
}

void dlgTaskScheduler::onBtnUninstallClicked()
{
    if (VxMessageBox::question(this, VxProductInfo::instance()->productName(),
                               tr("Uninstall the task service? Every scheduled task is deleted."))
        != QMessageBox::Yes)
        return;
    TaskServiceSetup::uninstall();
    TaskManage::instance()->connectXPCServer();
    showState();
}

void dlgTaskScheduler::onBtnAddClicked()
{
    TaskInfo task;
    task.enabled = true;
    editTask(task);
}

void dlgTaskScheduler::onBtnEditClicked()
{
    const int row = selectedRow();
    if (row >= 0)
        editTask(m_tasks.at(row));
}

void dlgTaskScheduler::editTask(const TaskInfo& task)
{
    QPointer<TaskEditDlg> dlg = new TaskEditDlg(task, this);
    const bool accepted = dlg->exec() == QDialog::Accepted && dlg;
    const TaskInfo edited = accepted ? dlg->task() : TaskInfo();
    delete dlg.data();
    if (accepted)
        storeTask(edited);
}

void dlgTaskScheduler::onBtnDeleteClicked()
{
    const int row = selectedRow();
    ITaskClient* client = TaskManage::instance()->client();
    if (row < 0 || !client)
        return;
    if (!client->deleteTask(m_tasks.at(row).id))
        Log("TaskManage", LogLevel::Error, "the task service did not delete task %s", qPrintable(m_tasks.at(row).id));
    showState();
}

void dlgTaskScheduler::storeTask(const TaskInfo& task)
{
    ITaskClient* client = TaskManage::instance()->client();
    if (!client || !client->saveTask(task)) {
        VxMessageBox::information(this, VxProductInfo::instance()->productName(),
                                  tr("The task service did not take the task. Please try again."));
    }
    showState();
}

int dlgTaskScheduler::selectedRow() const
{
    const QTreeWidgetItem* item = m_pTaskList->currentItem();
    return item ? m_pTaskList->indexOfTopLevelItem(const_cast<QTreeWidgetItem*>(item)) : -1;
}

void dlgTaskScheduler::retranslateDerived()
{
    setWindowTitle(tr("Task Schedule"));
    m_pLblNotConnected->setText(tr("Scheduled recordings need the task service, which starts them on time even "
                                   "when the program is closed. It runs for your user only and needs no "
                                   "administrator rights."));
    m_pBtnInstall->setText(tr("Install"));
    showUnsafePlace();
    m_pLblTasks->setText(tr("Scheduled tasks:"));
    m_pTaskList->setHeaderLabels({tr("Name"), tr("Record"), tr("Start"), tr("Stop"), tr("When finished"),
                                  tr("Enabled")});
    m_pBtnAdd->setText(tr("Add"));
    m_pBtnEdit->setText(tr("Edit"));
    m_pBtnDelete->setText(tr("Delete"));
    m_pBtnUninstall->setText(tr("Uninstall"));
    m_pBtnClose->setText(tr("Close"));
    fillTasks(m_tasks);
}

void dlgTaskScheduler::fillTasks(const TaskList& tasks)
{
    m_tasks = tasks;
    m_pTaskList->clear();
    for (const TaskInfo& task : tasks) {
        auto* item = new QTreeWidgetItem(m_pTaskList);
        item->setText(ColName, task.name);
        item->setText(ColKind, recordKindText(task.record.recwhat));
        item->setText(ColStart, startText(task));
        item->setText(ColStop, stopText(task));
        item->setText(ColEnd, endActionText(task.record.endAction));
        auto* sw = new FfSwitchButton(m_pTaskList);
        sw->setObjectName(QStringLiteral("swEnabled"));
        sw->setFixedSize(52, 22);
        if (task.enabled)
            sw->setBtnChecked(true);
        m_pTaskList->setItemWidget(item, ColEnabled, sw);
        const QString id = task.id;
        connect(sw, &FfSwitchButton::clicked, this, [this, id](bool on) {
            for (TaskInfo t : qAsConst(m_tasks)) {
                if (t.id == id && t.enabled != on) {
                    t.enabled = on;
                    // Queued: the switch must not be deleted inside its own signal.
                    QMetaObject::invokeMethod(this, [this, t] { storeTask(t); }, Qt::QueuedConnection);
                }
            }
        });
    }
    QHeaderView* header = m_pTaskList->header();
    header->setStretchLastSection(false);
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ColName, QHeaderView::Stretch);
}
