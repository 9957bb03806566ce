#pragma once

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class DlgQuitMessage;
}

// Asked when the home window is closed: end the program or keep it running
// in the status bar. OK stores the choice as the live closing setting and
// whether to ask again; Cancel or closing the window stores nothing.
class DlgQuitMessage : public VxDialogBase
{
    Q_OBJECT
public:
    explicit DlgQuitMessage(QWidget* parent = nullptr);
    ~DlgQuitMessage() override;

public slots:
    void accept() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void retranslateDerived() override;

private:
    Ui::DlgQuitMessage* ui = nullptr;
};
