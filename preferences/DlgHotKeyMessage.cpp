#include "preferences/DlgHotKeyMessage.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/framework/VxSettings.h"
#include "preferences/CMASShortcut.h"

namespace {
const char* const kHotkeyRemindKey = "HotkeyRemind";
}

DlgHotKeyMessage::DlgHotKeyMessage(QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("DlgHotKeyMessage"));
    m_pLblMessage = new QLabel(this);
    m_pLblMessage->setObjectName(QStringLiteral("lblMsgInfo"));
    m_pLblMessage->setWordWrap(true);
    m_pLblMessage->setMinimumWidth(320);
    m_pLblHotKeys = new QLabel(this);
    m_pLblHotKeys->setObjectName(QStringLiteral("lblHotKeys"));
    m_pLblHotKeys->setContentsMargins(12, 0, 0, 0);
    m_pChkRemind = new QCheckBox(this);
    m_pChkRemind->setObjectName(QStringLiteral("chkRemind"));
    m_pBtnOk = new QPushButton(this);
    m_pBtnOk->setObjectName(QStringLiteral("btnOk"));
    m_pBtnOk->setDefault(true);

    auto* bottom = new QHBoxLayout();
    bottom->addWidget(m_pChkRemind);
    bottom->addStretch(1);
    bottom->addWidget(m_pBtnOk);
    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(10);
    layout->addWidget(m_pLblMessage);
    layout->addWidget(m_pLblHotKeys);
    layout->addLayout(bottom);

    connect(m_pBtnOk, &QPushButton::clicked, this, &DlgHotKeyMessage::accept);

    retranslateDerived();
    postCreateDerivedDialog(true);
}

DlgHotKeyMessage::~DlgHotKeyMessage() = default;

void DlgHotKeyMessage::done(int result)
{
    VxSettings::instance()->setApplicationParam(kHotkeyRemindKey, m_pChkRemind->isChecked());
    VxDialogBase::done(result);
}

void DlgHotKeyMessage::showEvent(QShowEvent* event)
{
    // The reminder is kept between runs: show the stored choice each time.
    m_pChkRemind->setChecked(VxSettings::instance()->applicationParam(kHotkeyRemindKey, false).toBool());
    // The keys as they are now: they may have changed since the last time.
    m_pLblHotKeys->setText(CMASShortcut::hotKeyList());
    adjustSize();
    VxDialogBase::showEvent(event);
}

void DlgHotKeyMessage::retranslateDerived()
{
    m_pLblMessage->setText(tr("Hotkeys start, stop, pause and resume the recording while the program "
                              "is hidden. You can change them in the preferences."));
    m_pChkRemind->setText(tr("Don't remind me"));
    m_pBtnOk->setText(tr("OK"));
}
