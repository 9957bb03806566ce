#pragma once

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class DlgQuitMessage;
}

// The question a close of the home window raises: quit, or stay behind as
// the tray icon. Only OK writes anything: the answer becomes the closing
// setting, the tick decides whether later closes ask at all.
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
    void showDrawableQuestion();

    Ui::DlgQuitMessage* ui = nullptr;
};
