#include "schedule/TaskEditDlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDialogButtonBox>
#include <QFile>
#include <QIcon>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>

#include "widgets/VxComboboxViewItemDelegate.h"

namespace {

const int kKinds[] = {1, 2, 4};  // video, audio, webcam: the home window's modes

} // namespace

void applyScheduleLook(QWidget* dialog)
{
    QFile sheet(QStringLiteral(":/schedule/schedule.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        dialog->setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

TaskEditDlg::TaskEditDlg(const TaskInfo& task, QWidget* parent)
    : VxDialogBase(parent)
    , m_task(task)
{
    setObjectName(QStringLiteral("TaskEditDlg"));
    m_pName = new QLineEdit(task.name, this);
    m_pKind = new QComboBox(this);
    m_pKind->setObjectName(QStringLiteral("cmbKind"));
    m_pStart = new QDateTimeEdit(task.startTime.isValid() ? task.startTime
                                                          : QDateTime::currentDateTime().addSecs(60), this);
    m_pStart->setObjectName(QStringLiteral("editStart"));
    m_pStart->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_pStart->setCalendarPopup(true);
    m_pRepeat = new QComboBox(this);
    m_pRepeat->setObjectName(QStringLiteral("cmbRepeat"));
    auto* days = new QHBoxLayout();
    for (int d = 0; d < 7; ++d) {
        auto* box = new QCheckBox(QLocale().dayName(d + 1, QLocale::ShortFormat), this);
        box->setChecked(task.weekdays & (1 << d));
        days->addWidget(box);
        m_days.append(box);
    }
    m_pStopWay = new QComboBox(this);
    m_pStopWay->setObjectName(QStringLiteral("cmbStopWay"));
    m_pLength = new QTimeEdit(QTime(0, 0).addSecs(static_cast<int>(qBound<qint64>(0, task.record.lengthSeconds,
                                                                                  86399))), this);
    m_pLength->setObjectName(QStringLiteral("editLength"));
    m_pLength->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    m_pStopTime = new QDateTimeEdit(task.record.stopTime.isValid() ? task.record.stopTime
                                                                   : m_pStart->dateTime().addSecs(3600), this);
    m_pStopTime->setObjectName(QStringLiteral("editStopTime"));
    m_pStopTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_pEndAction = new QComboBox(this);
    m_pEndAction->setObjectName(QStringLiteral("cmbEndAction"));

    for (QComboBox* box : {m_pKind, m_pRepeat, m_pStopWay, m_pEndAction})
        VxComboboxViewItemDelegate::install(box);

    auto* form = new QFormLayout();
    form->addRow(tr("Name:"), m_pName);
    form->addRow(tr("Record:"), m_pKind);
    form->addRow(tr("Start at:"), m_pStart);
    form->addRow(tr("Repeat:"), m_pRepeat);
    form->addRow(QString(), days);
    form->addRow(tr("Stop:"), m_pStopWay);
    form->addRow(tr("Length:"), m_pLength);
    form->addRow(tr("Stop at:"), m_pStopTime);
    form->addRow(tr("When finished:"), m_pEndAction);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // White on the red button: the style's own OK picture would not show.
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOK"));
    buttons->button(QDialogButtonBox::Ok)->setIcon(QIcon());
    applyScheduleLook(this);

    retranslateDerived();
    const int kind = int(std::find(std::begin(kKinds), std::end(kKinds), task.record.recwhat) - std::begin(kKinds));
    m_pKind->setCurrentIndex(kind < 3 ? kind : 0);
    m_pRepeat->setCurrentIndex(task.repeat);
    m_pStopWay->setCurrentIndex(task.record.stopWay);
    m_pEndAction->setCurrentIndex(task.record.endAction);
    connect(m_pRepeat, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &TaskEditDlg::updateEnabled);
    connect(m_pStopWay, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &TaskEditDlg::updateEnabled);
    updateEnabled();
    postCreateDerivedDialog(true);
}

TaskInfo TaskEditDlg::task() const
{
    TaskInfo task = m_task;
    task.name = m_pName->text().trimmed();
    if (task.name.isEmpty())
        task.name = m_pKind->currentText();
    task.record.recwhat = kKinds[qBound(0, m_pKind->currentIndex(), 2)];
    task.startTime = m_pStart->dateTime();
    task.repeat = m_pRepeat->currentIndex();
    task.weekdays = 0;
    for (int d = 0; d < m_days.size(); ++d)
        task.weekdays |= m_days.at(d)->isChecked() ? (1 << d) : 0;
    task.record.stopWay = m_pStopWay->currentIndex();
    task.record.lengthSeconds = QTime(0, 0).secsTo(m_pLength->time());
    task.record.stopTime = m_pStopTime->dateTime();
    task.record.endAction = static_cast<RecStopEvent>(m_pEndAction->currentIndex());
    return task;
}

void TaskEditDlg::updateEnabled()
{
    for (QCheckBox* box : qAsConst(m_days))
        box->setEnabled(m_pRepeat->currentIndex() == TaskRepeat_Weekdays);
    m_pLength->setEnabled(m_pStopWay->currentIndex() == TaskStopWay_Length);
    m_pStopTime->setEnabled(m_pStopWay->currentIndex() == TaskStopWay_Time);
}

void TaskEditDlg::retranslateDerived()
{
    setWindowTitle(m_task.id.isEmpty() ? tr("New task") : tr("Edit task"));
    const auto refill = [](QComboBox* box, const QStringList& texts) {
        const int index = box->currentIndex();
        box->clear();
        box->addItems(texts);
        box->setCurrentIndex(qMax(0, index));
    };
    refill(m_pKind, {tr("Video"), tr("Audio"), tr("Webcam")});
    refill(m_pRepeat, {tr("Once"), tr("Daily"), tr("On these days")});
    refill(m_pStopWay, {tr("By hand"), tr("After a length"), tr("At a time")});
    refill(m_pEndAction, {tr("Do nothing"), tr("Shut down computer"), tr("Make computer sleep"), tr("Exit program")});
}
