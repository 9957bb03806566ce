#include "feedback/FeedBackDialog.h"

#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include "feedback/FeedbackTask.h"
#include "platform/log/Log.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "widgets/CustomCombox.h"
#include "widgets/CustomFeedbackLineEdit.h"
#include "widgets/CustomTextEdit.h"

namespace {
bool g_bShowing = false;
}

void FeedBackDialog::showFeedBack(QWidget* parent)
{
    if (g_bShowing) {
        Log("FeedBack", LogLevel::Info, "feedback dialog already open");
        return;
    }
    g_bShowing = true;

    // exec(), so the form is among the open dialogs that a recording about
    // to start ends. A parent deleted meanwhile takes the form with it.
    QPointer<FeedBackDialog> dlg = new FeedBackDialog(parent);
    dlg->setWindowModality(Qt::WindowModal);
    dlg->exec();
    delete dlg.data();

    g_bShowing = false;
}

bool FeedBackDialog::isShowing()
{
    return g_bShowing;
}

FeedBackDialog::FeedBackDialog(QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("FeedBackDialog"));
    m_pEditEmail = new CustomFeedbackLineEdit(this);
    m_pEditEmail->setObjectName(QStringLiteral("editEmail"));
    m_pEditContent = new CustomTextEdit(this);
    m_pEditContent->setObjectName(QStringLiteral("editContent"));
    m_pEditContent->setAcceptRichText(false);
    m_pAttachments = new CustomCombox(this);
    m_pAttachments->setObjectName(QStringLiteral("cmbAttachments"));
    m_pAttachments->privateListWidget()->setDeletedPicture(QStringLiteral(":/watermark/delete.svg"));
    for (const QString& path : VxSettings::instance()->logPaths()) {
        const QString name = QFileInfo(path).fileName();
        m_pAttachments->addText(name.isEmpty() ? path : name, path);
    }
    m_pBtnSend = new QPushButton(this);
    m_pBtnSend->setObjectName(QStringLiteral("btnSend"));
    m_pBtnSend->setDefault(true);
    m_pBtnCancel = new QPushButton(this);
    m_pBtnCancel->setObjectName(QStringLiteral("btnCancel"));

    auto* form = new QFormLayout();
    form->addRow(tr("Email:"), m_pEditEmail);
    form->addRow(tr("Description:"), m_pEditContent);
    form->addRow(tr("Attachments:"), m_pAttachments);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_pBtnCancel);
    buttons->addWidget(m_pBtnSend);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form, 1);
    layout->addLayout(buttons);
    resize(480, 360);

    connect(m_pBtnSend, &QPushButton::clicked, this, &FeedBackDialog::onBtnSendClicked);
    connect(m_pBtnCancel, &QPushButton::clicked, this, &QDialog::reject);

    retranslateDerived();
    postCreateDerivedDialog(true);
}

FeedBackDialog::~FeedBackDialog() = default;

void FeedBackDialog::onBtnSendClicked()
{
    const QString title = VxProductInfo::instance()->productName();
    const QString content = m_pEditContent->toPlainText().trimmed();
    if (content.isEmpty()) {
        VxMessageBox::information(this, title, tr("Please describe your problem or suggestion."));
        return;
    }

    FeedbackTask::Package package;
    package.email = m_pEditEmail->text().trimmed();
    package.content = content;
    for (const QVariant& path : m_pAttachments->getAllTextData())
        package.logPaths << path.toString();
    package.productName = title;
    package.productVersion = VxProductInfo::instance()->productVersion();

    QString error;
    const QString folder = FeedbackTask::writePackage(package, FeedbackTask::feedbackRoot(), &error);
    if (folder.isEmpty()) {
        VxMessageBox::warning(this, title, tr("Your feedback could not be saved: %1").arg(error));
        return;
    }
    m_strSavedFolder = folder;
    VxMessageBox::information(this, title,
                              tr("Feedback cannot be sent from this system. It was saved in:\n%1")
                                  .arg(QDir::toNativeSeparators(folder)));
    accept();
}

void FeedBackDialog::retranslateDerived()
{
    m_pEditEmail->setTipText(tr("Your email address (optional)"));
    m_pEditContent->setTipText(tr("Describe your problem or suggestion"));
    m_pBtnSend->setText(tr("Send"));
    m_pBtnCancel->setText(tr("Cancel"));
}
