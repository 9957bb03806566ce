#pragma once

#include "preferences/OptionPage.h"

class QCheckBox;
class QRadioButton;
class QVBoxLayout;

// How a recording starts, runs and ends, what closing the main window
// does, and the doors to the sound plug-in and the webcam options.
class RecordOptionPage : public OptionPage
{
    Q_OBJECT
public:
    explicit RecordOptionPage(QWidget* parent = nullptr);

    void load() override;
    bool apply(QString* error) override;

    // Where a microphone test meter goes, below the sound entries.
    QVBoxLayout* meterArea() const { return m_pMeterArea; }

protected:
    QVariantList values() const override;

private:
    void addDoors();
    void openAudioPlugin();
    void openWebcamOptions();

    QCheckBox* m_pCountDown = nullptr;
    QCheckBox* m_pBeep = nullptr;
    QCheckBox* m_pHideFloat = nullptr;
    QCheckBox* m_pShowBoundary = nullptr;
    QCheckBox* m_pMoveRegion = nullptr;
    QCheckBox* m_pExcludeFloat = nullptr;
    QCheckBox* m_pHideDesktop = nullptr;
    QCheckBox* m_pHideTaskbar = nullptr;
    QCheckBox* m_pAutoSave = nullptr;
    QCheckBox* m_pHideMain = nullptr;
    QRadioButton* m_pCloseToTray = nullptr;
    QRadioButton* m_pCloseQuits = nullptr;
    QVBoxLayout* m_pMeterArea = nullptr;
};
