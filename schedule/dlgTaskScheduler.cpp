#include "schedule/dlgTaskScheduler.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStackedWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/log/Log.h"
#include "schedule/TaskManage.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"

namespace {

QString recordKindText(int recwhat)
{
    switch (recwhat) {
    case 1: return dlgTaskScheduler::tr("Video");
    case 2: return dlgTaskScheduler::tr("Audio");
    case 4: return dlgTaskScheduler::tr("Webcam");
    default: return dlgTaskScheduler::tr("Unknown");
    }
}

QString stopText(const RecordInfo& rec)
{
    switch (rec.stopWay) {
    case TaskStopWay_Length: {
        const qint64 s = rec.lengthSeconds;
        return dlgTaskScheduler::tr("After %1").arg(QStringLiteral("%1:%2:%3")
                                                         .arg(s / 3600, 2, 10, QLatin1Char('0'))
                                                         .arg((s / 60) % 60, 2, 10, QLatin1Char('0'))
                                                         .arg(s % 60, 2, 10, QLatin1Char('0')));
    }
    case TaskStopWay_Time:
        return dlgTaskScheduler::tr("At %1").arg(rec.stopTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
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

} // namespace

dlgTaskScheduler::dlgTaskScheduler(QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("dlgTaskScheduler"));
    m_pStack = new QStackedWidget(this);

    auto* pageConnect = new QWidget(m_pStack);
    pageConnect->setObjectName(QStringLiteral("pageNotConnected"));
    m_pLblNotConnected = new QLabel(pageConnect);
    m_pLblNotConnected->setObjectName(QStringLiteral("lblNotConnected"));
    m_pLblNotConnected->setWordWrap(true);
    m_pBtnInstall = new QPushButton(pageConnect);
    m_pBtnInstall->setObjectName(QStringLiteral("btnInstall"));
    auto* connectLayout = new QVBoxLayout(pageConnect);
    connectLayout->addWidget(m_pLblNotConnected);
    connectLayout->addWidget(m_pBtnInstall, 0, Qt::AlignLeft);
    connectLayout->addStretch(1);

    auto* pageTasks = new QWidget(m_pStack);
    pageTasks->setObjectName(QStringLiteral("pageTasks"));
    m_pLblTasks = new QLabel(pageTasks);
    m_pTaskList = new QTreeWidget(pageTasks);
    m_pTaskList->setObjectName(QStringLiteral("treeTasks"));
    m_pTaskList->setRootIsDecorated(false);
    m_pTaskList->setSelectionMode(QAbstractItemView::NoSelection);
    m_pTaskList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_pTaskList->setColumnCount(6);
    auto* tasksLayout = new QVBoxLayout(pageTasks);
    tasksLayout->addWidget(m_pLblTasks);
    tasksLayout->addWidget(m_pTaskList, 1);

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
    resize(640, 360);

    connect(m_pBtnInstall, &QPushButton::clicked, this, &dlgTaskScheduler::onBtnInstallClicked);
    connect(m_pBtnClose, &QPushButton::clicked, this, &QDialog::accept);

    TaskManage* manage = TaskManage::instance();
    if (manage->isConnected()) {
        fillTasks(manage->tasks());
        m_pStack->setCurrentIndex(PageTasks);
    } else {
        m_pStack->setCurrentIndex(PageNotConnected);
    }
    retranslateDerived();
    postCreateDerivedDialog(true);
}

dlgTaskScheduler::~dlgTaskScheduler() = default;

int dlgTaskScheduler::currentPage() const
{
    return m_pStack->currentIndex();
}

void dlgTaskScheduler::onBtnInstallClicked()
{
    // The daemon is a separate, privileged service that this build does not
    // ship; say so instead of pretending to install it.
    Log("TaskManage", 1, "task service installation requested; not available on this system");
    VxMessageBox::information(this, VxProductInfo::instance()->productName(),
                              tr("The task service cannot be installed from the program on this "
                                 "system. Scheduled recordings stay unavailable until the task "
                                 "service is installed and running; see the README."));
}

void dlgTaskScheduler::retranslateDerived()
{
    m_pLblNotConnected->setText(tr("The task service is not installed or not running, so "
                                   "recordings cannot be scheduled."));
    m_pBtnInstall->setText(tr("Install"));
    m_pLblTasks->setText(tr("Scheduled tasks:"));
    m_pTaskList->setHeaderLabels({tr("Name"), tr("Start"), tr("Record"), tr("Stop"), tr("When finished"),
                                  tr("Enabled")});
    m_pBtnClose->setText(tr("Close"));
    fillTasks(m_tasks);
}

void dlgTaskScheduler::fillTasks(const TaskList& tasks)
{
    m_tasks = tasks;
    m_pTaskList->clear();
    for (const TaskInfo& task : tasks) {
        auto* item = new QTreeWidgetItem(m_pTaskList);
        item->setText(0, task.name);
        item->setText(1, task.startTime.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        item->setText(2, recordKindText(task.record.recwhat));
        item->setText(3, stopText(task.record));
        item->setText(4, endActionText(task.record.endAction));
        item->setText(5, task.enabled ? tr("Yes") : tr("No"));
    }
}
