#include "capture/DlgSnapshot.h"

#include <QClipboard>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageWriter>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QRegion>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QToolButton>

#include <cmath>

#include "platform/log/Log.h"
#include "core/RecordParameter.h"
#include "core/RecordTypes.h"
#include "core/Utils.h"

namespace {

const char* const kLogModule = "DlgSnapshot";

// Gap between the area and the tool bar.
const int kBarGap = 4;
const QColor kEdge(30, 144, 255);
// Laid over the frozen screen outside the area: as dark as the selection
// had it, so that nothing seems to change when the selection ends.
const QColor kShade(0, 0, 0, 110);
// Time for windows the caller has just hidden to leave the screen: the
// window manager takes their frames down and the windows under them
// repaint.
const int kSettleMs = 150;

struct ImageFormat
{
    const char* writer;   // QImageWriter's name
    const char* suffix;
    const char* filter;   // as the save dialog lists it
};

const ImageFormat kPng{"png", "png", "PNG (*.png)"};
const ImageFormat kJpg{"jpeg", "jpg", "JPEG (*.jpg *.jpeg)"};
const ImageFormat kBmp{"bmp", "bmp", "BMP (*.bmp)"};
const ImageFormat kTiff{"tiff", "tiff", "TIFF (*.tiff)"};

// The format of the screenshot setting. One Qt cannot write here (TIFF
// needs an image-format plug-in) falls back to PNG, so that the file's
// suffix still says what it holds.
ImageFormat imageFormat(int setting)
{
    ImageFormat format = kPng;
    switch (setting) {
    case RP_Format_JPG:
        format = kJpg;
        break;
    case RP_Format_BMP:
        format = kBmp;
        break;
    case RP_Format_TIFF:
        format = kTiff;
        break;
    default:
        break;
    }
    if (!QImageWriter::supportedImageFormats().contains(QByteArray(format.writer))) {
        Log(kLogModule, LogLevel::Warning, "no writer for %s, saving PNG", format.writer);
        format = kPng;
    }
    return format;
}

QRect toQRect(const CRect& r)
{
    const int left = int(std::lround(r.left));
    const int top = int(std::lround(r.top));
    return QRect(left, top, int(std::lround(r.right)) - left, int(std::lround(r.bottom)) - top);
}

// The whole desktop as it is now; null when it cannot be read.
QImage grabDesktop(QRect& where)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return QImage();
    where = screen->virtualGeometry();
    return screen->grabWindow(0, where.x(), where.y(), where.width(), where.height()).toImage();
}

// `area` (global) cut out of a picture of `pictureArea`; null when the
// picture does not hold all of it.
QImage cut(const QImage& picture, const QRect& pictureArea, const QRect& area)
{
    if (picture.isNull() || pictureArea.isEmpty() || !pictureArea.contains(area))
        return QImage();
    // The picture may have more pixels than the area has points.
    const double sx = double(picture.width()) / pictureArea.width();
    const double sy = double(picture.height()) / pictureArea.height();
    const QRect source(int(std::lround((area.x() - pictureArea.x()) * sx)),
                       int(std::lround((area.y() - pictureArea.y()) * sy)),
                       int(std::lround(area.width() * sx)), int(std::lround(area.height() * sy)));
    QImage image = picture.copy(source);
    image.setDevicePixelRatio(1.0);
    return image;
}

} // namespace

// ===========================================================================
// The selection's events, on an engine thread. The editor releases the
// selection before this goes, and the engine makes no call after its
// release, so the editor outlives every call; what is posted to it is
// dropped if it is deleted first.
// ===========================================================================

class DlgSnapshot::CaptureEvents : public CImageCaptureCallback
{
public:
    explicit CaptureEvents(DlgSnapshot* editor) : m_pEditor(editor) {}

    void OnClose() override
    {
        DlgSnapshot* editor = m_pEditor;
        QMetaObject::invokeMethod(editor, [editor] { editor->onSelectionClosed(); }, Qt::QueuedConnection);
    }
    void OnScreenSelCompleted(CRect screenRect) override
    {
        Log(kLogModule, LogLevel::Info, "OnScreenSelCompleted (%f,%f)-(%f,%f)", screenRect.left, screenRect.top,
            screenRect.right, screenRect.bottom);
        DlgSnapshot* editor = m_pEditor;
        const QRect area = toQRect(screenRect);
        QMetaObject::invokeMethod(editor, [editor, area] { editor->onScreenSelected(area); },
                                  Qt::QueuedConnection);
    }
    void OnBeginResize() override {}
    void OnSizeChanged(CRect) override {}
    void OnEndResize() override {}

private:
    DlgSnapshot* m_pEditor;
};

// ===========================================================================

DlgSnapshot::DlgSnapshot(QWidget* parent, bool customMode)
    : VxDialogBase(parent,
                   Qt::Tool | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint, true)
    , m_bCustomMode(customMode)
    , m_pEvents(new CaptureEvents(this))
{
    setObjectName(QStringLiteral("DlgSnapshot"));
    setWindowTitle(tr("Screenshot"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Nothing is shown before an area is selected; a show() before that
    // must not put an empty window on the screen that is about to be
    // frozen.
    resize(1, 1);
    buildToolBar();
    if (m_bCustomMode)
        Log(kLogModule, LogLevel::Info, "custom mode requested: the ordinary editor is used");
}

DlgSnapshot::~DlgSnapshot()
{
    // No engine call reaches the callback after this.
    m_pCapture.reset();
}

void DlgSnapshot::buildToolBar()
{
    m_pToolBar = new QFrame(this, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                                      | Qt::X11BypassWindowManagerHint);
    m_pToolBar->setObjectName(QStringLiteral("frmToolBar"));
    m_pToolBar->setStyleSheet(QStringLiteral(
        "QFrame#frmToolBar { background: #2d2d30; border: 1px solid #1e90ff; }"
        "QToolButton { color: white; background: transparent; border: none; padding: 4px 8px; }"
        "QToolButton:hover { background: #3e3e42; }"));
    auto* layout = new QHBoxLayout(m_pToolBar);
    layout->setContentsMargins(4, 2, 4, 2);
    layout->setSpacing(2);
    struct Button
    {
        const char* name;
        QString text;
        void (DlgSnapshot::*slot)();
    };
    const Button buttons[] = {
        {"btnSave", tr("Save"), &DlgSnapshot::onSave},
        {"btnCopy", tr("Copy"), &DlgSnapshot::onCopy},
        {"btnPin", tr("Pin to screen"), &DlgSnapshot::onPin},
        {"btnCancel", tr("Cancel"), &DlgSnapshot::onCancel},
    };
    for (const Button& b : buttons) {
        auto* button = new QToolButton(m_pToolBar);
        button->setObjectName(QString::fromLatin1(b.name));
        button->setText(b.text);
        button->setToolTip(b.text);
        button->setFocusPolicy(Qt::NoFocus);
        // Queued: the receivers of what follows may delete the editor, and
        // with it this button; nothing of the button's click is left on
        // the stack by then.
        connect(button, &QToolButton::clicked, this, b.slot, Qt::QueuedConnection);
        layout->addWidget(button);
    }
    // Esc while the tool bar has the keyboard.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), m_pToolBar);
    connect(escape, &QShortcut::activated, this, &DlgSnapshot::reject);
    m_pToolBar->hide();
}

void DlgSnapshot::createImageCapture()
{
    if (m_state != State::Idle)
        return;
    m_state = State::Selecting;
    // The home window, hidden just before, must be gone from both pictures
    // of the screen, the editor's and the engine's.
    QGuiApplication::sync();
    QTimer::singleShot(kSettleMs, this, &DlgSnapshot::startSelection);
}

void DlgSnapshot::startSelection()
{
    if (m_state != State::Selecting)
        return;
    // Taken right before the engine freezes its own picture, which it keeps
    // to itself: the two are only a moment apart.
    m_frozen = grabDesktop(m_frozenArea);
    if (m_frozen.isNull())
        Log(kLogModule, LogLevel::Warning, "the screen could not be frozen; the area is read after the selection");
    SetZoomTipsFormat(tr("%d x %d").toUtf8().constData());
    m_pCapture = CreateImageCapture(m_pEvents.get());
    if (!m_pCapture) {
        Log(kLogModule, LogLevel::Error, "CreateImageCapture failed");
        // From the event loop: a receiver of finished may delete the editor.
        QMetaObject::invokeMethod(this, [this] { onSelectionClosed(); }, Qt::QueuedConnection);
    }
}

void DlgSnapshot::onSelectionClosed()
{
    if (m_state != State::Selecting)
        return;
    Log(kLogModule, LogLevel::Info, "selection closed without an area");
    m_pCapture.reset();
    finish(0);
}

void DlgSnapshot::onScreenSelected(const QRect& area)
{
    if (m_state != State::Selecting)
        return;
    m_pCapture.reset();
    m_image = cut(m_frozen, m_frozenArea, area);
    if (m_image.isNull())
        m_frozen = QImage();
    if (m_image.isNull() && !area.isEmpty()) {
        // No frozen picture: the engine's window is gone by now, so the
        // screen itself shows the area.
        QScreen* screen = QGuiApplication::primaryScreen();
        if (screen)
            m_image = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
        m_image.setDevicePixelRatio(1.0);
    }
    if (m_image.isNull()) {
        Log(kLogModule, LogLevel::Error, "no picture of the area (%d,%d %dx%d)", area.x(), area.y(), area.width(),
            area.height());
        finish(0);
        return;
    }
    Log(kLogModule, LogLevel::Info, "selected (%d,%d %dx%d)", area.x(), area.y(), area.width(), area.height());
    m_state = State::Editing;
    m_area = area;
    // Over the whole frozen screen, so that the live desktop never shows
    // through; over the area alone when there is no frozen screen.
    setGeometry(m_frozen.isNull() ? area : m_frozenArea);
    show();
    raise();
    activateWindow();

    // Its size is known once its style sheet has been applied, which
    // showing does; nothing reaches the screen before the move.
    m_pToolBar->show();
    m_pToolBar->adjustSize();
    QScreen* screen = QGuiApplication::screenAt(area.center());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect screenArea = screen ? screen->geometry() : area;
    m_pToolBar->move(toolBarPos(area, m_pToolBar->size(), screenArea));
    m_pToolBar->raise();
    update();
}

QPoint DlgSnapshot::toolBarPos(const QRect& area, const QSize& bar, const QRect& screen)
{
    int x = area.right() + 1 - bar.width();
    x = qMin(x, screen.right() + 1 - bar.width());
    x = qMax(x, screen.left());
    int y;
    if (area.bottom() + kBarGap + bar.height() <= screen.bottom())
        y = area.bottom() + 1 + kBarGap;
    else if (area.top() - kBarGap - bar.height() >= screen.top())
        y = area.top() - kBarGap - bar.height();
    else
        y = area.bottom() + 1 - kBarGap - bar.height();
    return QPoint(x, y);
}

void DlgSnapshot::paintEvent(QPaintEvent* event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    if (m_image.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const QRect inside = m_area.translated(-geometry().topLeft());
    painter.setPen(QPen(kEdge, 1));
    if (m_frozen.isNull()) {
        painter.drawImage(rect(), m_image);
        // Over the picture's outermost pixels, only on the screen: the
        // saved picture has no edge.
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        return;
    }
    painter.drawImage(rect(), m_frozen);
    for (const QRect& r : QRegion(rect()).subtracted(QRegion(inside)))
        painter.fillRect(r, kShade);
    // Just outside the area, which shows every pixel it saves.
    painter.drawRect(inside.adjusted(-1, -1, 0, 0));
}

void DlgSnapshot::onSave()
{
    if (m_state != State::Editing)
        return;
    // Out of the way of the save dialog that follows.
    hide();
    m_pToolBar->hide();

    const ImageFormat format = imageFormat(RecordParameter::instance()->usedImgFmt());
    const QString folder = Utils::getRecorderTmpRoot();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
    const QString suffix = QString::fromLatin1(format.suffix);
    QString path;
    bool written = false;
    // A name that exists is never reused: (1), (2) and so on.
    for (int n = 0; n < 1000 && path.isEmpty(); ++n) {
        const QString name = n == 0 ? QStringLiteral("Snapshot_%1.%2").arg(stamp, suffix)
                                    : QStringLiteral("Snapshot_%1(%2).%3").arg(stamp).arg(n).arg(suffix);
        QFile file(folder + QLatin1Char('/') + name);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists())
                continue;
            Log(kLogModule, LogLevel::Error, "cannot create %s: %s", file.fileName().toUtf8().constData(),
                file.errorString().toUtf8().constData());
            break;
        }
        path = file.fileName();
        QImageWriter writer(&file, format.writer);
        written = writer.write(m_image) && file.flush();
        if (!written)
            Log(kLogModule, LogLevel::Error, "cannot write %s: %s", path.toUtf8().constData(),
                writer.errorString().toUtf8().constData());
    }
    if (!written) {
        if (!path.isEmpty())
            QFile::remove(path);
        QPointer<DlgSnapshot> self(this);
        Utils::showMacWindowMessage(MsgType_Warning, nullptr,
                                    tr("The screenshot could not be saved to \"%1\".")
                                        .arg(QDir::toNativeSeparators(folder)),
                                    MsgButton_Ok);
        if (!self || m_state != State::Editing)
            return;
        // Copy, Pin and Cancel still work.
        show();
        m_pToolBar->show();
        return;
    }
    Log(kLogModule, LogLevel::Info, "saved %s", path.toUtf8().constData());
    m_state = State::Done;
    QPointer<DlgSnapshot> self(this);
    // From here the file is the receiver's.
    emit pictureSave(path, QString::fromLatin1(format.filter));
    if (!self)
        return;
    finish(1);
}

void DlgSnapshot::onCopy()
{
    if (m_state != State::Editing)
        return;
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setImage(m_image);
    Log(kLogModule, LogLevel::Info, "copied");
    finish(1);
}

void DlgSnapshot::onPin()
{
    if (m_state != State::Editing)
        return;
    hide();
    m_pToolBar->hide();
    m_state = State::Done;
    QPointer<DlgSnapshot> self(this);
    // The offset tells the pinned window where the area was on the screen.
    QImage pinned = m_image;
    pinned.setOffset(m_area.topLeft());
    emit paintToScreen(pinned);
    if (!self)
        return;
    finish(1);
}

void DlgSnapshot::reject()
{
    // Esc reaches here from inside the key event, and a close from inside
    // the close event: the ending runs from the event loop instead, since
    // the owner may delete the editor on finished.
    QMetaObject::invokeMethod(this, &DlgSnapshot::onCancel, Qt::QueuedConnection);
}

void DlgSnapshot::onCancel()
{
    if (m_state == State::Done)
        return;
    Log(kLogModule, LogLevel::Info, "cancelled");
    m_pCapture.reset();
    finish(0);
}

void DlgSnapshot::finish(int result)
{
    m_state = State::Done;
    m_pToolBar->hide();
    m_frozen = QImage();
    // done() hides and emits finished(result); nothing may follow it.
    done(result);
}
