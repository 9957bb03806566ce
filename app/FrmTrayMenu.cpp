#include "app/FrmTrayMenu.h"

#include "core/RecordTypes.h"
#include "preferences/CMASShortcut.h"
#include "ui_FrmTrayMenu.h"

FrmTrayMenu::FrmTrayMenu(QWidget* parent)
    : QFrame(parent)
    , ui(new Ui::FrmTrayMenu)
{
    ui->setupUi(this);
    ensurePolished();

    connect(ui->btnSnapshot, &QToolButton::clicked, this, &FrmTrayMenu::sigSnap);
    connect(ui->btnSnapshot_2, &QToolButton::clicked, this, &FrmTrayMenu::sigSnap);
    connect(ui->recGif, &FfButtonGifBg::clicked, this, &FrmTrayMenu::sigStartOrStop);
    connect(ui->btnStop, &QToolButton::clicked, this, &FrmTrayMenu::sigStartOrStop);
    connect(ui->btnPause, &QToolButton::clicked, this, &FrmTrayMenu::sigPauseOrResume);
    connect(ui->btnResume, &QToolButton::clicked, this, &FrmTrayMenu::sigPauseOrResume);
    connect(ui->btnHome, &QToolButton::clicked, this, &FrmTrayMenu::sigHome);
    connect(ui->btnSetting, &QToolButton::clicked, this, &FrmTrayMenu::sigSetting);
}

FrmTrayMenu::~FrmTrayMenu()
{
    delete ui;
}

void FrmTrayMenu::initNormal()
{
    ui->lblDuration->clear();
    ui->lblSize->clear();
    ui->lblStatus->clear();
    ui->stackedWidget->setCurrentWidget(ui->pageNormal);
    ui->stackedWidget_2->setCurrentWidget(ui->pageHome);
    ui->label->setText(tr("Start Recording"));
    ui->btnHome->setToolTip(tr("Home"));
    ui->btnSetting->setToolTip(tr("Setting"));
    CMASShortcut::showHotKeyInToolTip(ui->btnSnapshot, tr("Screen Capture"), RP_HotKey_Snapshot);
    CMASShortcut::showHotKeyInToolTip(ui->btnSnapshot_2, tr("Screen Capture"), RP_HotKey_Snapshot);
}

void FrmTrayMenu::initRecording()
{
    ui->stackedWidget->setCurrentWidget(ui->pageRecording);
    ui->stackedWidget_2->setCurrentWidget(ui->pageRec);
    CMASShortcut::showHotKeyInToolTip(ui->btnPause, tr("Pause"), RP_HotKey_Pause);
    CMASShortcut::showHotKeyInToolTip(ui->btnResume, tr("Resume"), RP_HotKey_Pause);
    CMASShortcut::showHotKeyInToolTip(ui->btnStop, tr("Stop"), RP_HotKey_Stop);
    initPasuing(false);
}

void FrmTrayMenu::initPasuing(bool paused)
{
    ui->btnResume->setVisible(paused);
    ui->btnPause->setVisible(!paused);
    ui->lblStatus->setText(paused ? tr("Paused") : tr("Recording..."));
}

void FrmTrayMenu::setRecordInfo(const QString& duration, const QString& size)
{
    ui->lblDuration->setText(duration);
    ui->lblSize->setText(size);
}

void FrmTrayMenu::setRecEnable(bool enable)
{
    ui->recGif->setEnabled(enable);
    ui->label->setEnabled(enable);
}

void FrmTrayMenu::setStopEnable(bool enable)
{
    ui->btnStop->setEnabled(enable);
}

void FrmTrayMenu::setSnapshotEnabled(bool enable)
{
    ui->btnSnapshot_2->setEnabled(enable);
}

void FrmTrayMenu::setHomeEnable(bool enable)
{
    ui->btnHome->setEnabled(enable);
}

void FrmTrayMenu::setOtherEnable(bool enable)
{
    ui->frmOther->setEnabled(enable);
}
