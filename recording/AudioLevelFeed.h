#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class CustomLEDFrame;

// Feeds a level meter with the engine's live sound levels about 20 times a
// second. Two lines at a page that shows a meter:
//   m_levels = new AudioLevelFeed(ui->ledFrame, this);
//   m_levels->start();          // with the recording; stop() when it ends
// or, for the microphone test, m_levels->startMicTest(deviceId) / stop().
// The meter may be destroyed first: the feed then stops by itself.
class AudioLevelFeed : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 50;

    explicit AudioLevelFeed(CustomLEDFrame* meter, QObject* parent = nullptr);
    ~AudioLevelFeed() override;

    bool isRunning() const { return m_timer.isActive(); }

public slots:
    // Shows the levels of whatever the engine is recording.
    void start();
    // Captures `deviceId` ("" for the default input) for the meter without
    // recording; false when the device cannot be opened.
    bool startMicTest(const QString& deviceId);
    // Stops feeding (and the microphone test) and blanks the meter.
    void stop();

private slots:
    void poll();

private:
    QPointer<CustomLEDFrame> m_meter;
    QTimer m_timer;
    bool m_micTest = false;
};
