#include "app/DlgQuitMessage.h"

#include <QFile>
#include <QIcon>

#include "core/RecordParameter.h"
#include "platform/framework/VxSettings.h"
#include "ui_DlgQuitMessage.h"

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
    postCreateDerivedDialog(true, false, nullptr);
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
}
