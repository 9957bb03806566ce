#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>

#include "Screencast.h"
#include "platform/framework/VxDialogBase.h"

class QFrame;

// The screenshot editor. createImageCapture() freezes the screen and starts
// the engine's cross-hair selection; once an area is selected the editor
// goes on showing the frozen screen, full screen and opaque (there may be
// no compositor to see through a translucent window), darkened outside the
// area as the selection was, with a small tool bar beside the area: Save,
// Copy, Pin to screen, Cancel (Esc).
//
// The picture is cut from the screen as it was when the selection started,
// read right before the engine froze its own for the user to select on:
// what the user saw while selecting is what is saved, even when a menu or
// a video under the area has changed since. The engine keeps its picture
// to itself, so the two are taken a moment apart.
//
// Results:
// - Save writes the picture to a new file in the temp root, in the format
//   of the screenshot setting (the suffix always matches the content), and
//   emits pictureSave(path, filter); the file then belongs to the receiver.
// - Copy puts the picture on the clipboard.
// - Pin emits paintToScreen(picture).
// - Cancel, Esc and a selection ended without an area leave no file: a
//   file exists only once Save has written it, and then it is handed over.
//   A write that fails is removed and reported; the editor stays.
// Every ending hides the editor and emits finished(int) once: 1 after Save,
// Copy and Pin, 0 otherwise. The owner deletes the editor (deleteLater)
// after finished; the editor never deletes itself, and it touches nothing
// of its own once a receiver deleted it inside one of its signals.
//
// Engine callbacks arrive on an engine thread and are only posted here.
class DlgSnapshot : public VxDialogBase
{
    Q_OBJECT
public:
    // customMode true is the editor of a caller that shows the tool bar
    // itself; only the ordinary editor (false) is built.
    DlgSnapshot(QWidget* parent, bool customMode);
    ~DlgSnapshot() override;

    // Freezes the screen and starts the cross-hair selection, once per
    // editor, a moment later: windows hidden just before have left the
    // screen by then.
    void createImageCapture();

    // The selected area's picture; null before a selection.
    QImage image() const { return m_image; }
    // The selected area, in global coordinates; empty before a selection.
    QRect area() const { return m_area; }

    // Where the tool bar of the size `bar` goes for an `area` on `screen`
    // (both in global coordinates): below the area, right-aligned with it;
    // above it when there is no room below; inside its bottom edge when
    // there is room for neither; never left or right of the screen.
    static QPoint toolBarPos(const QRect& area, const QSize& bar, const QRect& screen);

public slots:
    // Cancels, from the event loop: finished(0).
    void reject() override;

signals:
    void paintToScreen(QImage image);
    void pictureSave(QString tempPath, QString filter);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    enum class State { Idle, Selecting, Editing, Done };
    class CaptureEvents;

    void buildToolBar();
    void startSelection();
    void onScreenSelected(const QRect& area);
    void onSelectionClosed();
    void onSave();
    void onCopy();
    void onPin();
    void onCancel();
    // Hides everything and emits finished(result): the last thing any
    // ending does, as the receiver may delete the editor.
    void finish(int result);

    bool m_bCustomMode;
    State m_state = State::Idle;
    // The screen when the selection started, and where it lies.
    QImage m_frozen;
    QRect m_frozenArea;
    QImage m_image;
    QRect m_area;
    QFrame* m_pToolBar = nullptr;
    std::unique_ptr<CaptureEvents> m_pEvents;
    CBasePtr<CImageCaptureObject> m_pCapture;
};
