#pragma once

#include "platform/framework/VxDialogBase.h"

class CustomCombox;
class CustomFeedbackLineEdit;
class CustomTextEdit;
class QPushButton;

// The feedback form. Sending is not possible on this system, so "Send"
// keeps the feedback as a package on disk and tells the user where.
class FeedBackDialog : public VxDialogBase
{
    Q_OBJECT
public:
    // Blocks until the form is closed. Only one form exists at a time: a
    // call made meanwhile does nothing.
    static void showFeedBack(QWidget* parent);
    static bool isShowing();

    explicit FeedBackDialog(QWidget* parent = nullptr);
    ~FeedBackDialog() override;

    // The folder of the last package written (empty before).
    QString savedFolder() const { return m_strSavedFolder; }

public slots:
    void onBtnSendClicked();

protected:
    void retranslateDerived() override;

private:
    CustomFeedbackLineEdit* m_pEditEmail = nullptr;
    CustomTextEdit* m_pEditContent = nullptr;
    // The logs sent along; the user may take any of them out.
    CustomCombox* m_pAttachments = nullptr;
    QPushButton* m_pBtnSend = nullptr;
    QPushButton* m_pBtnCancel = nullptr;
    QString m_strSavedFolder;
};
