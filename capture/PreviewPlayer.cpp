#include "capture/PreviewPlayer.h"

#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QStackedLayout>
#include <QTimer>
#include <QToolButton>
#include <QVariant>
#include <QVBoxLayout>

#include "capture/TrimBar.h"
#include "core/SignalsTransfer.h"
#include "platform/log/Log.h"

namespace {

const char* const kModule = "PreviewPlayer";
const int kPollMs = 100;

// Qt must leave the view's window to the engine, which draws into it.
class NativeView : public QWidget
{
public:
    explicit NativeView(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("playerView"));
        setAttribute(Qt::WA_NativeWindow);
        setAttribute(Qt::WA_PaintOnScreen);
        setAttribute(Qt::WA_NoSystemBackground);
        setAttribute(Qt::WA_DontCreateNativeAncestors);
    }
    QPaintEngine* paintEngine() const override { return nullptr; }
};

QString clock(double seconds)
{
    const int s = int(seconds + 0.0005);
    if (s >= 3600)
        return QString::asprintf("%d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
    return QString::asprintf("%02d:%02d", s / 60, s % 60);
}

QString tenths(double seconds)
{
    const int t = int(seconds * 10 + 0.5);
    return QString::asprintf("%02d:%02d.%d", t / 600, t / 10 % 60, t % 10);
}

} // namespace

// The engine calls from its own threads; the hub carries the news to the
// preview window queued.
class PreviewPlayer::Relay : public AVPlayerStatusCallback
{
public:
    void OnStatueChanged(int status) override
    {
        if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
            emit hub->OnStatueChanged(status);
    }
    void OnTrimCancel() override
    {
        if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
            emit hub->OnTrimCancel();
    }
    void OnTrimOK(double start, double end) override
    {
        if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
            emit hub->OnTrimOK(start, end);
    }
};

PreviewPlayer::PreviewPlayer(QWidget* parent) : QWidget(parent), m_relay(new Relay)
{
    setObjectName(QStringLiteral("previewPlayer"));
    auto* stage = new QWidget(this);
    stage->setObjectName(QStringLiteral("playerStage"));
    stage->setAttribute(Qt::WA_StyledBackground);
    stage->setMinimumSize(480, 270);
    stage->setStyleSheet(QStringLiteral("#playerStage { background: black; } "
                                        "#playerStage QLabel { color: #d8dbe0; font-size: 14px; }"));
    m_pStack = new QStackedLayout(stage);
    m_pSound = new QLabel(stage);
    m_pSound->setObjectName(QStringLiteral("lblSound"));
    m_pSound->setAlignment(Qt::AlignCenter);
    m_pSound->setText(QStringLiteral("<img src=\":/preview/sound.svg\" width=\"96\" height=\"96\"><br><br>%1")
                          .arg(tr("Sound recording")));
    m_pMessage = new QLabel(stage);
    m_pMessage->setObjectName(QStringLiteral("lblPlayerMessage"));
    m_pMessage->setAlignment(Qt::AlignCenter);
    m_pMessage->setWordWrap(true);
    m_pMessage->setMargin(24);
    m_pStack->addWidget(m_pSound);
    m_pStack->addWidget(m_pMessage);

    m_pPoll = new QTimer(this);
    m_pPoll->setInterval(kPollMs);
    connect(m_pPoll, &QTimer::timeout, this, &PreviewPlayer::poll);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    layout->addWidget(stage, 1);
    buildControls();
    updateControls();
}

PreviewPlayer::~PreviewPlayer()
{
    // The view and the relay must outlive the engine's player.
    m_player.reset();
}

void PreviewPlayer::buildControls()
{
    m_pBtnPlay = new QToolButton(this);
    m_pBtnPlay->setObjectName(QStringLiteral("btnPlay"));
    m_pBtnPlay->setIconSize(QSize(22, 22));
    m_pBtnPlay->setAutoRaise(true);
    m_pBtnPlay->setFocusPolicy(Qt::NoFocus);
    m_pBar = new TrimBar(this);
    m_pTime = new QLabel(this);
    m_pTime->setObjectName(QStringLiteral("lblTime"));
    m_pBtnTrim = new QPushButton(QIcon(QStringLiteral(":/preview/trim.svg")), tr("Trim"), this);
    m_pBtnTrim->setObjectName(QStringLiteral("btnTrim"));
    m_pBtnTrim->setAutoDefault(false);
    m_pBtnTrim->setToolTip(tr("Cut away the start or the end of the recording"));
    auto* controls = new QHBoxLayout;
    controls->addWidget(m_pBtnPlay);
    controls->addWidget(m_pBar, 1);
    controls->addWidget(m_pTime);
    controls->addWidget(m_pBtnTrim);

    m_pTrimRow = new QWidget(this);
    m_pTrimInfo = new QLabel(m_pTrimRow);
    m_pTrimInfo->setObjectName(QStringLiteral("lblTrimRange"));
    m_pBtnTrimCancel = new QPushButton(tr("Cancel"), m_pTrimRow);
    m_pBtnTrimCancel->setObjectName(QStringLiteral("btnTrimCancel"));
    m_pBtnTrimCancel->setAutoDefault(false);
    m_pBtnTrimDone = new QPushButton(QIcon(QStringLiteral(":/preview/trim.svg")), tr("Trim"), m_pTrimRow);
    m_pBtnTrimDone->setObjectName(QStringLiteral("btnTrimDone"));
    m_pBtnTrimDone->setAutoDefault(false);
    auto* trimRow = new QHBoxLayout(m_pTrimRow);
    trimRow->setContentsMargins(0, 0, 0, 0);
    trimRow->addWidget(m_pTrimInfo, 1);
    trimRow->addWidget(m_pBtnTrimCancel);
    trimRow->addWidget(m_pBtnTrimDone);

    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    layout->addLayout(controls);
    layout->addWidget(m_pTrimRow);

    connect(m_pBtnPlay, &QToolButton::clicked, this, &PreviewPlayer::togglePlay);
    connect(m_pBtnTrim, &QPushButton::clicked, this, &PreviewPlayer::beginTrim);
    connect(m_pBtnTrimCancel, &QPushButton::clicked, this, [this] { endTrim(false); });
    connect(m_pBtnTrimDone, &QPushButton::clicked, this, [this] { endTrim(true); });
    connect(m_pBar, &TrimBar::seekRequested, this, &PreviewPlayer::seekTo);
    connect(m_pBar, &TrimBar::rangeChanged, this, &PreviewPlayer::onRangeChanged);
}

void PreviewPlayer::open(const QString& path, bool video, bool playWhenReady)
{
    close();
    m_bVideo = video;
    m_bPlayWhenReady = playWhenReady;
    const QByteArray file = path.toUtf8();
    if (video) {
        if (!m_pView) {
            m_pView = new NativeView(m_pStack->parentWidget());
            m_pStack->insertWidget(0, m_pView);
        }
        m_pStack->setCurrentWidget(m_pView);
        m_player = CreateAVPlayer(m_relay.get(), ScNativeView(m_pView->winId()), file.constData());
    } else {
        m_pStack->setCurrentWidget(m_pSound);
        m_player = CreateAudioPlayer(m_relay.get(), file.constData());
    }
    Log(kModule, LogLevel::Info, "player of %s: %s", file.constData(), m_player ? "opened" : "refused");
    if (!m_player)
        showMessage(tr("This recording cannot be played here. It can still be saved."));
    m_pTime->setText(m_player ? tr("Opening...") : QString());
    updateControls();
}

void PreviewPlayer::close()
{
    if (m_bTrimming)
        trimEnded();
    m_player.reset();
    m_bReady = false;
    m_bFailed = false;
    m_pBar->setDuration(0.0);
    m_pBar->setPosition(0.0);
    updateControls();
}

void PreviewPlayer::statusChanged(int status)
{
    if (!m_player)
        return;
    Log(kModule, LogLevel::Info, "player status %d", status);
    if (status == kPlayerStatusReadyToPlay) {
        m_bReady = true;
        if (m_bPlayWhenReady)
            m_player->play();
        m_bPlayWhenReady = false;
        poll();
    } else if (status == kPlayerStatusFailed) {
        m_bReady = false;
        showMessage(tr("This recording cannot be played here. It can still be saved."));
        m_pTime->clear();
    }
    updateControls();
}

void PreviewPlayer::showMessage(const QString& text)
{
    m_bFailed = true;
    m_pMessage->setText(text);
    m_pStack->setCurrentWidget(m_pMessage);
}

void PreviewPlayer::showEvent(QShowEvent* event)
{
    m_pPoll->start();
    QWidget::showEvent(event);
}

void PreviewPlayer::hideEvent(QHideEvent* event)
{
    m_pPoll->stop();
    QWidget::hideEvent(event);
}

void PreviewPlayer::poll()
{
    if (!m_player || !m_bReady)
        return;
    const double length = m_player->duration();
    if (length != m_pBar->duration())
        m_pBar->setDuration(length);
    m_pBar->setPosition(m_player->position());
    m_pTime->setText(QStringLiteral("%1 / %2").arg(clock(m_pBar->position()), clock(length)));
    const bool playing = m_player->isPlaying() != 0;
    m_pBtnPlay->setIcon(QIcon(playing ? QStringLiteral(":/preview/pause.svg") : QStringLiteral(":/preview/play.svg")));
    m_pBtnPlay->setToolTip(playing ? tr("Pause") : tr("Play"));
    m_pBtnPlay->setProperty("playing", QVariant(playing));
}

void PreviewPlayer::togglePlay()
{
    if (!m_player || !m_bReady)
        return;
    if (m_player->isPlaying())
        m_player->pause();
    else
        m_player->play();
    poll();
}

void PreviewPlayer::seekTo(double seconds)
{
    if (!m_player || !m_bReady)
        return;
    m_player->seek(seconds);
    poll();
}

void PreviewPlayer::beginTrim()
{
    if (!m_player || !m_bReady || !m_bTrimAllowed || m_bTrimming)
        return;
    m_player->pause();
    m_player->beginTrim();
    m_bTrimming = true;
    m_pBar->setTrimming(true);
    onRangeChanged(0.0, m_pBar->duration(), 0.0);
    updateControls();
    emit trimmingChanged(true);
}

void PreviewPlayer::onRangeChanged(double start, double end, double moved)
{
    if (!m_player)
        return;
    m_player->setTrimRange(start, end);
    m_player->seek(moved);
    m_pTrimInfo->setText(tr("Keep %1 to %2 (%3 s)")
                             .arg(tenths(start), tenths(end), QString::number(end - start, 'f', 1)));
    poll();
}

void PreviewPlayer::endTrim(bool accept)
{
    if (!m_bTrimming)
        return;
    // The engine answers through the hub; the controls leave trim mode now.
    trimEnded();
    if (m_player)
        m_player->endTrim(accept);
}

void PreviewPlayer::trimEnded()
{
    if (!m_bTrimming)
        return;
    m_bTrimming = false;
    m_pBar->setTrimming(false);
    updateControls();
    emit trimmingChanged(false);
}

bool PreviewPlayer::isTrimming() const
{
    return m_bTrimming;
}

double PreviewPlayer::duration() const
{
    return m_pBar->duration();
}

void PreviewPlayer::setTrimAllowed(bool allowed)
{
    m_bTrimAllowed = allowed;
    updateControls();
}

void PreviewPlayer::updateControls()
{
    const bool usable = m_player && m_bReady && !m_bFailed;
    m_pBtnPlay->setEnabled(usable);
    m_pBar->setEnabled(usable);
    m_pBtnTrim->setEnabled(usable && m_bTrimAllowed);
    m_pBtnTrim->setVisible(!m_bTrimming);
    m_pTrimRow->setVisible(m_bTrimming);
    if (!usable)
        m_pBtnPlay->setIcon(QIcon(QStringLiteral(":/preview/play.svg")));
}
