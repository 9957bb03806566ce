#pragma once

#include "preferences/OptionPage.h"

class QCheckBox;
class QComboBox;

// The pointer in recordings: drawn or not, a coloured halo around it, and
// how clicks show.
class MouseOptionPage : public OptionPage
{
    Q_OBJECT
public:
    explicit MouseOptionPage(QWidget* parent = nullptr);

    void load() override;
    bool apply(QString* error) override;

protected:
    QVariantList values() const override;

private:
    void updateEnabled();

    QCheckBox* m_pCursor = nullptr;
    QCheckBox* m_pHalo = nullptr;
    ColourButton* m_pHaloColour = nullptr;
    QComboBox* m_pClick = nullptr;
    ColourButton* m_pClickColour = nullptr;
};
