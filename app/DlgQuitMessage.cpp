#include "app/DlgQuitMessage.h"

#include <QFile>
#include <QIcon>

#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"
#include "ui_DlgQuitMessage.h"
#include "widgets/UIHelper.h"

DlgQuitMessage::DlgQuitMessage(QWidget* parent)
    : VxDialogBase(parent)
    , ui(new Ui::DlgQuitMessage)
{
    ui->setupUi(this);
    QFile sheet(QStringLiteral(":/float/quit.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
    ui->lblWarningIcon->setPixmap(QIcon(QStringLiteral(":/float/warning.svg")).pixmap(QSize(24, 24)));
    if (RecordParameter::instance()->isCloseWhenClose())
        ui->rdbClose->setChecked(true);
    else
        ui->rdbTray->setChecked(true);
    connect(ui->btnOK, &QPushButton::clicked, this, &DlgQuitMessage::accept);
    connect(ui->btnCancel, &QPushButton::clicked, this, &DlgQuitMessage::reject);
    showDrawableQuestion();
    postCreateDerivedDialog(true, false, nullptr);
}

void DlgQuitMessage::showDrawableQuestion()
{
    // The question ends with a full-width mark; measured in the font the
    // style sheet gives the label.
    ui->label->ensurePolished();
    ui->label->setText(UIHelper::drawableText(ui->label->text(), ui->label->font()));
}

DlgQuitMessage::~DlgQuitMessage()
{
    delete ui;
}

void DlgQuitMessage::accept()
{
    RecordParameter* params = RecordParameter::instance();
    if (ui->rdbTray->isChecked())
        params->setCloseWhenClose(false);
    else if (ui->rdbClose->isChecked())
        params->setCloseWhenClose(true);
    VxSettings::instance()->setApplicationParam(QStringLiteral("RemindClose"), ui->chbRemindAgain->isChecked());
    VxDialogBase::accept();
}

void DlgQuitMessage::closeEvent(QCloseEvent* event)
{
    VxDialogBase::closeEvent(event);
}

void DlgQuitMessage::retranslateDerived()
{
    ui->retranslateUi(this);
    showDrawableQuestion();
}
