#include "preferences/MouseOptionPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QVBoxLayout>

#include "core/RecordParameter.h"

MouseOptionPage::MouseOptionPage(QWidget* parent)
    : OptionPage(parent)
{
    setObjectName(QStringLiteral("pageMouse"));
    QFormLayout* pointer = addSection(tr("Pointer"), "lblPointer");
    m_pCursor = addCheck(pointer, tr("Show the pointer in the recording"), "chkCursor");
    m_pHalo = addCheck(pointer, tr("Highlight the area around the pointer"), "chkHalo");
    m_pHaloColour = new ColourButton(this);
    m_pHaloColour->setObjectName(QStringLiteral("btnHaloColour"));
    pointer->addRow(tr("Highlight colour:"), m_pHaloColour);

    QFormLayout* clicks = addSection(tr("Clicks"), "lblClicks");
    m_pClick = addCombo(clicks, tr("Click effect:"), "cmbClick");
    m_pClick->addItem(tr("None"), int(RP_MouseClick_None));
    m_pClick->addItem(tr("Show each click"), int(RP_MouseClick_Status));
    m_pClick->addItem(tr("Blink on each click"), int(RP_MouseClick_Blink));
    m_pClickColour = new ColourButton(this);
    m_pClickColour->setObjectName(QStringLiteral("btnClickColour"));
    clicks->addRow(tr("Click colour:"), m_pClickColour);
    static_cast<QVBoxLayout*>(layout())->addStretch(1);

    for (ColourButton* button : {m_pHaloColour, m_pClickColour})
        connect(button, &ColourButton::colourChanged, this, &OptionPage::changed);
    connect(this, &OptionPage::changed, this, &MouseOptionPage::updateEnabled);
}

void MouseOptionPage::load()
{
    bool cursor = true;
    bool halo = true;
    RP_MouseClick click = RP_MouseClick_Status;
    QColor clickColour;
    QColor haloColour;
    RecordParameter::instance()->getMouseOpt(cursor, halo, click, clickColour, haloColour);
    m_pCursor->setChecked(cursor);
    m_pHalo->setChecked(halo);
    m_pHaloColour->setColour(haloColour);
    selectData(m_pClick, int(click));
    m_pClickColour->setColour(clickColour);
    updateEnabled();
    remember();
}

bool MouseOptionPage::apply(QString*)
{
    RecordParameter* rp = RecordParameter::instance();
    rp->setMouseRecorder(m_pCursor->isChecked());
    rp->setMouseShow(m_pHalo->isChecked());
    rp->setMouseClick(RP_MouseClick(m_pClick->currentData().toInt()));
    rp->setMouseColor(m_pClickColour->colour(), m_pHaloColour->colour());
    remember();
    return true;
}

QVariantList MouseOptionPage::values() const
{
    return {m_pCursor->isChecked(), m_pHalo->isChecked(), m_pHaloColour->colour(), m_pClick->currentData(),
            m_pClickColour->colour()};
}

void MouseOptionPage::updateEnabled()
{
    m_pHaloColour->setEnabled(m_pHalo->isChecked());
    m_pClickColour->setEnabled(m_pClick->currentData().toInt() != RP_MouseClick_None);
}
