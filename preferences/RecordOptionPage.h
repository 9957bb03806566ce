#pragma once

#include "preferences/OptionPage.h"

class AudioLevelFeed;
class CustomLEDFrame;
class QCheckBox;
class QPushButton;
class QRadioButton;

// How a recording starts, runs and ends, what closing the main window
// does, the doors to the sound plug-in and the webcam options, and a level
// meter to try the microphone with.
class RecordOptionPage : public OptionPage
{
    Q_OBJECT
public:
    explicit RecordOptionPage(QWidget* parent = nullptr);

    void load() override;
    bool apply(QString* error) override;

protected:
    QVariantList values() const override;
    // The microphone is let go whenever the page is out of sight.
    void hideEvent(QHideEvent* event) override;

private:
    void addDoors();
    void openAudioPlugin();
    void openWebcamOptions();
    void testMicrophone(bool on);

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
    QPushButton* m_pMicTest = nullptr;
    CustomLEDFrame* m_pMeter = nullptr;
    AudioLevelFeed* m_pLevels = nullptr;
};
