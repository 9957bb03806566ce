#pragma once

#include "core/TaskInfo.h"
#include "platform/framework/VxDialogBase.h"

class QLabel;
class QPushButton;
class QTimer;

// The countdown before the end action of a recording (a scheduled or a
// timed one): 30 seconds that the user can cancel. It accepts itself when
// the time is up. Hotkeys are off while it shows, so a hotkey cannot start
// a recording the action would cut short.
class DlgAutoShutdownTips : public VxDialogBase
{
    Q_OBJECT
public:
    static constexpr int kCountdownSeconds = 30;

    explicit DlgAutoShutdownTips(RecStopEvent action, QWidget* parent = nullptr);
    ~DlgAutoShutdownTips() override;

    // One countdown step; 1000 ms outside tests.
    void setTickInterval(int ms);
    int secondsLeft() const { return m_nSecondsLeft; }
    RecStopEvent action() const { return m_action; }
    QString message() const;

public slots:
    void onReject();

protected:
    void done(int result) override;
    void showEvent(QShowEvent* event) override;
    void retranslateDerived() override;

private:
    void onTick();
    void updateText();

    RecStopEvent m_action;
    int m_nSecondsLeft = kCountdownSeconds;
    bool m_bHotKeysGiven = false;
    QLabel* m_pLabel = nullptr;
    QPushButton* m_pBtnCancel = nullptr;
    QTimer* m_pTimer = nullptr;
};
