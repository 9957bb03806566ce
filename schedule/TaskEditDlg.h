#pragma once

#include "core/TaskInfo.h"
#include "platform/framework/VxDialogBase.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLineEdit;
class QTimeEdit;

// The task windows' own look (light page, red main button).
void applyScheduleLook(QWidget* dialog);

// Adds or edits one scheduled task: what to record, when (once, daily or on
// chosen weekdays), how it stops and what happens afterwards.
class TaskEditDlg : public VxDialogBase
{
    Q_OBJECT
public:
    explicit TaskEditDlg(const TaskInfo& task, QWidget* parent = nullptr);

    // The task as the form now describes it (the id kept).
    TaskInfo task() const;

protected:
    void retranslateDerived() override;

private:
    void updateEnabled();

    TaskInfo m_task;
    QLineEdit* m_pName = nullptr;
    QComboBox* m_pKind = nullptr;
    QDateTimeEdit* m_pStart = nullptr;
    QComboBox* m_pRepeat = nullptr;
    QList<QCheckBox*> m_days;
    QComboBox* m_pStopWay = nullptr;
    QTimeEdit* m_pLength = nullptr;
    QDateTimeEdit* m_pStopTime = nullptr;
    QComboBox* m_pEndAction = nullptr;
};
