#pragma once

#include <QString>
#include <QWidget>

#include <memory>

#include "Screencast.h"

class QLabel;
class QPushButton;
class QStackedLayout;
class QTimer;
class QToolButton;
class TrimBar;

// The preview's player: the engine draws the movie into a native child
// view (a sound recording shows a picture instead), with play/pause, a
// timeline that seeks, the time and the trim controls under it.
//
// The engine's status and trim answers reach the preview window through
// the hub; the window hands them back here (statusChanged, trimEnded).
class PreviewPlayer : public QWidget
{
    Q_OBJECT
public:
    explicit PreviewPlayer(QWidget* parent = nullptr);
    ~PreviewPlayer() override;

    // Opens `path` (the old player goes first); with `playWhenReady` it
    // plays as soon as the engine says it can.
    void open(const QString& path, bool video, bool playWhenReady);
    // Lets go of the file (before it is replaced or deleted).
    void close();

    void statusChanged(int status);
    // Trim mode was left (accepted or cancelled) on the engine's side.
    void trimEnded();
    bool isTrimming() const;
    // Seconds; 0 until the engine knows.
    double duration() const;
    // Trimming is offered only while the window is not busy with the file.
    void setTrimAllowed(bool allowed);

    // The controls, for the window's keyboard road and tests.
    void togglePlay();
    void beginTrim();
    void endTrim(bool accept);
    TrimBar* timeline() const { return m_pBar; }

signals:
    void trimmingChanged(bool trimming);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void buildControls();
    void poll();
    void seekTo(double seconds);
    void onRangeChanged(double start, double end, double moved);
    void updateControls();
    void showMessage(const QString& text);

    class Relay;
    std::unique_ptr<Relay> m_relay;          // outlives the player it is given to
    CBasePtr<CAVPlayerObject> m_player;
    bool m_bVideo = true;
    bool m_bReady = false;
    bool m_bFailed = false;
    bool m_bPlayWhenReady = false;
    bool m_bTrimAllowed = true;
    bool m_bTrimming = false;

    QStackedLayout* m_pStack = nullptr;
    QWidget* m_pView = nullptr;
    QLabel* m_pSound = nullptr;
    QLabel* m_pMessage = nullptr;
    QToolButton* m_pBtnPlay = nullptr;
    TrimBar* m_pBar = nullptr;
    QLabel* m_pTime = nullptr;
    QPushButton* m_pBtnTrim = nullptr;
    QWidget* m_pTrimRow = nullptr;
    QLabel* m_pTrimInfo = nullptr;
    QPushButton* m_pBtnTrimCancel = nullptr;
    QPushButton* m_pBtnTrimDone = nullptr;
    QTimer* m_pPoll = nullptr;
};
