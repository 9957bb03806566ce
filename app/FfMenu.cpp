#include "app/FfMenu.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QEvent>
#include <QSpacerItem>
#include <QToolButton>
#include <QVBoxLayout>

#include "ui_FfMenu.h"

FfMenu::FfMenu(QWidget* parent)
    : QFrame(parent)
    , m_pUi(new Ui::FfMenu)
{
    m_pUi->setupUi(this);
    m_pButtonLayout = m_pUi->buttonLayout;
    m_pGroup = new QButtonGroup(this);
    m_pGroup->setExclusive(true);
    m_pButtonLayout->addSpacerItem(new QSpacerItem(0, 0, QSizePolicy::Minimum, QSizePolicy::Minimum));
    connect(m_pGroup, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
            &FfMenu::buttonClicked);
    connect(m_pUi->btnManager, &QToolButton::clicked, this, &FfMenu::manageClicked);
    ensurePolished();
}

FfMenu::~FfMenu()
{
    delete m_pUi;
}

void FfMenu::addButton(QAbstractButton* button)
{
    if (!button)
        return;
    m_pButtonLayout->addWidget(button);
    m_pGroup->addButton(button);
}

void FfMenu::addButtons(const QList<QAbstractButton*>& buttons)
{
    for (QAbstractButton* button : buttons)
        addButton(button);
}

void FfMenu::removeButton(QAbstractButton* button)
{
    if (!button)
        return;
    m_pButtonLayout->removeWidget(button);
    m_pGroup->removeButton(button);
    delete button;
}

void FfMenu::addFrame(QFrame* frame)
{
    if (frame)
        m_pButtonLayout->addWidget(frame);
}

void FfMenu::removeFrame(QFrame* frame)
{
    if (!frame)
        return;
    m_pButtonLayout->removeWidget(frame);
    delete frame;
}

void FfMenu::clearButtonChecked()
{
    m_pGroup->setExclusive(false);
    if (QAbstractButton* checked = m_pGroup->checkedButton())
        checked->setChecked(false);
    m_pGroup->setExclusive(true);
}

void FfMenu::setManagerBtnVisable(bool visible)
{
    m_pUi->btnManager->setVisible(visible);
}

void FfMenu::changeEvent(QEvent* event)
{
    QFrame::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        m_pUi->retranslateUi(this);
}
