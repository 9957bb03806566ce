#include "recording/AudioLevelFeed.h"

#include "widgets/CustomLEDFrame.h"

#include "Screencast.h"

AudioLevelFeed::AudioLevelFeed(CustomLEDFrame* meter, QObject* parent) : QObject(parent), m_meter(meter)
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &AudioLevelFeed::poll);
}

AudioLevelFeed::~AudioLevelFeed() { stop(); }

void AudioLevelFeed::start()
{
    if (m_micTest)
        scStopMicLevelTest();
    m_micTest = false;
    CustomLEDFrame::startRecord();
    // The engine keeps sound for the meter only once asked: ask at once so
    // the first bars show one tick later.
    poll();
    m_timer.start();
}

bool AudioLevelFeed::startMicTest(const QString& deviceId)
{
    if (scStartMicLevelTest(deviceId.toUtf8().constData()) != 0) {
        stop();
        return false;
    }
    start();
    m_micTest = true;
    return true;
}

void AudioLevelFeed::stop()
{
    if (m_micTest)
        scStopMicLevelTest();
    m_micTest = false;
    if (!m_timer.isActive())
        return;
    m_timer.stop();
    if (m_meter) {
        float silence[kScLevelValues] = {};
        m_meter->setVolume(kScLevelValues, silence);
    }
}

void AudioLevelFeed::poll()
{
    if (!m_meter) {
        stop();
        return;
    }
    float levels[kScLevelValues] = {};
    const int count = scGetAudioLevels(levels, kScLevelValues);
    m_meter->setVolume(count, levels);
}
