#pragma once

#include "platform/framework/VxDialogBase.h"

class QCheckBox;
class QLabel;
class QPushButton;

// Reminds the user, before a recording, that hotkeys control it. Closing it
// in any way stores the "Don't remind me" choice, which the caller reads
// before showing it again.
class DlgHotKeyMessage : public VxDialogBase
{
    Q_OBJECT
public:
    explicit DlgHotKeyMessage(QWidget* parent = nullptr);
    ~DlgHotKeyMessage() override;

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void retranslateDerived() override;

private:
    QLabel* m_pLblMessage = nullptr;
    QLabel* m_pLblHotKeys = nullptr;   // the current keys, one action a line
    QCheckBox* m_pChkRemind = nullptr;
    QPushButton* m_pBtnOk = nullptr;
};
