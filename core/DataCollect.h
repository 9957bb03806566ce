#pragma once

#include <QtGlobal>

// How often each kind of recording was started in this run. Main thread
// only: there is no lock.
class DataCollect
{
public:
    static DataCollect* instanse();
    static void release();

    void incFullScreenCnt() { ++m_nFullScreen; }
    void incCustomCnt() { ++m_nCustom; }
    void incContinueCnt() { ++m_nContinue; }
    void incMouseCnt() { ++m_nMouse; }
    void incDurationCnt() { ++m_nDuration; }
    void incWebcamCnt() { ++m_nWebcam; }

    quint32 fullScreenCnt() const { return m_nFullScreen; }
    quint32 customCnt() const { return m_nCustom; }
    quint32 continueCnt() const { return m_nContinue; }
    quint32 mouseCnt() const { return m_nMouse; }
    quint32 durationCnt() const { return m_nDuration; }
    quint32 webcamCnt() const { return m_nWebcam; }

private:
    DataCollect() = default;

    quint32 m_nFullScreen = 0;
    quint32 m_nCustom = 0;
    quint32 m_nContinue = 0;
    quint32 m_nMouse = 0;
    quint32 m_nDuration = 0;
    quint32 m_nWebcam = 0;

    static DataCollect* m_pInstanse;
};
