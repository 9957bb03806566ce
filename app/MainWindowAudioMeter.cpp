#include "app/MainWindow.h"

#include "app/MainWindowBase.h"
#include "core/RecordingSession.h"
#include "core/RecordParameter.h"
#include "recording/AudioLevelFeed.h"
#include "ui_MainWindow.h"
#include "widgets/CustomLEDFrame.h"

// The Audio Recorder page lets a user see that the microphone really hears
// something before a sound recording starts: while the page is up with the
// microphone on, its level replaces the page's picture. The microphone is
// let go as soon as the window hides, which every start does before the
// recording opens its own sources.
void MainWindow::initAudioMeter()
{
    m_audioMeter.m_pAudioMeter = new CustomLEDFrame(ui->frameAudioImage);
    m_audioMeter.m_pAudioMeter->setObjectName(QStringLiteral("ledAudioPage"));
    // 56 bars of 4 pixels, 2 apart, with 5 pixels at each side.
    m_audioMeter.m_pAudioMeter->setFixedSize(346, 96);
    m_audioMeter.m_pAudioMeter->hide();
    ui->horizontalLayoutAudioImage->addWidget(m_audioMeter.m_pAudioMeter);
    m_audioMeter.m_pAudioLevels = new AudioLevelFeed(m_audioMeter.m_pAudioMeter, this);
}

void MainWindow::updateAudioMeter()
{
    if (!m_audioMeter.m_pAudioLevels)
        return;
    const RecordParameter* params = RecordParameter::instance();
    const bool live = m_bEngineStarted && m_nRecordWhat == RecordWhat_Audio && m_pMainWindowBase
                      && m_pMainWindowBase->isVisible() && params->getMicEnable()
                      && RecordingSession::instance()->isIdle();
    if (live == m_audioMeter.m_pAudioLevels->isRunning())
        return;
    const bool shown = live && m_audioMeter.m_pAudioLevels->startMicTest(QString());
    if (!shown)
        m_audioMeter.m_pAudioLevels->stop();
    m_audioMeter.m_pAudioMeter->setVisible(shown);
    ui->lblAudioImage->setVisible(!shown);
}
