#include "schedule/DlgAutoShutdownTips.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/SignalsTransfer.h"

DlgAutoShutdownTips::DlgAutoShutdownTips(RecStopEvent action, QWidget* parent)
    : VxDialogBase(parent)
    , m_action(action)
{
    setObjectName(QStringLiteral("DlgAutoShutdownTips"));
    m_pLabel = new QLabel(this);
    m_pLabel->setObjectName(QStringLiteral("lblTips"));
    m_pLabel->setWordWrap(true);
    m_pLabel->setMinimumWidth(320);
    m_pBtnCancel = new QPushButton(this);
    m_pBtnCancel->setObjectName(QStringLiteral("btnCancel"));
    m_pBtnCancel->setDefault(true);

    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(m_pBtnCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pLabel);
    layout->addLayout(buttons);

    m_pTimer = new QTimer(this);
    m_pTimer->setInterval(1000);
    connect(m_pTimer, &QTimer::timeout, this, &DlgAutoShutdownTips::onTick);
    connect(m_pBtnCancel, &QPushButton::clicked, this, &DlgAutoShutdownTips::onReject);

    retranslateDerived();
    postCreateDerivedDialog(true);
    emit SignalsTransfer::instance()->hotKeyEnable(false);
}

DlgAutoShutdownTips::~DlgAutoShutdownTips()
{
    // Destroyed with its parent while still open: hotkeys must not stay off.
    if (!m_bHotKeysGiven)
        emit SignalsTransfer::instance()->hotKeyEnable(true);
}

void DlgAutoShutdownTips::setTickInterval(int ms)
{
    m_pTimer->setInterval(qMax(1, ms));
}

QString DlgAutoShutdownTips::message() const
{
    switch (m_action) {
    case RecStopEvent_ShutDown:
        return tr("The recording is finished. The computer will shut down in %1 seconds.")
            .arg(m_nSecondsLeft);
    case RecStopEvent_Sleep:
        return tr("The recording is finished. The computer will go to sleep in %1 seconds.")
            .arg(m_nSecondsLeft);
    case RecStopEvent_Exit:
        return tr("The recording is finished. The program will exit in %1 seconds.")
            .arg(m_nSecondsLeft);
    default:
        return QString();
    }
}

void DlgAutoShutdownTips::onReject()
{
    reject();
}

void DlgAutoShutdownTips::done(int result)
{
    m_pTimer->stop();
    // Hotkeys come back however the box closes: after a cancel, and also
    // after the countdown, since the program goes on after a sleep.
    if (!m_bHotKeysGiven) {
        m_bHotKeysGiven = true;
        emit SignalsTransfer::instance()->hotKeyEnable(true);
    }
    VxDialogBase::done(result);
}

void DlgAutoShutdownTips::showEvent(QShowEvent* event)
{
    VxDialogBase::showEvent(event);
    if (!m_pTimer->isActive() && m_nSecondsLeft > 0)
        m_pTimer->start();
}

void DlgAutoShutdownTips::retranslateDerived()
{
    m_pBtnCancel->setText(tr("Cancel"));
    updateText();
}

void DlgAutoShutdownTips::onTick()
{
    if (m_nSecondsLeft > 0)
        --m_nSecondsLeft;
    updateText();
    if (m_nSecondsLeft == 0) {
        m_pTimer->stop();
        accept();
    }
}

void DlgAutoShutdownTips::updateText()
{
    m_pLabel->setText(message());
}
