#pragma once

// What is drawn on a recording: the strokes, their undo history and how
// they are painted.
//
// Without a compositor an on-screen window cannot be see-through: a shaped
// window (its shape is where the picture has pixels) shows the opaque,
// sharp-edged parts of the strokes exactly, and nothing of a see-through
// colour. The frames get the very same picture, so a recording shows what
// the screen showed, whether it was grabbed from the screen or composed
// from windows.

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QVector>

namespace sc {
namespace rec {

// The drawing tools, numbered as the module's tool bar numbers them.
enum CanvasShape : int {
    kShapeNone = 0,
    kShapeRectangle = 1,
    kShapeEllipse = 2,
    kShapeLine = 3,
    kShapeArrow = 4,
    kShapePen = 5,       // free line
    kShapeMarker = 6,    // wide line, shown as its outline
    kShapeNumber = 7,    // numbered callout
    kShapeText = 8,
};

bool isCanvasShape(int shape);

// A tool as started: for the numbered callout `colour` fills the circle
// and `background` is the number's colour; for the other shapes `colour`
// is the line (or text) and `background` the fill.
struct CanvasTool {
    int shape = kShapeNone;
    QColor colour;
    QColor background;
    QString fontFamily;
    double size = 2;      // stroke width; the font size in points for text
};

struct Stroke {
    CanvasTool tool;
    QVector<QPoint> points;   // in the area's pixels
    QString text;             // text tool
    int number = 0;           // numbered callout
};

// The strokes with undo and redo. Clear forgets the history too.
class StrokeList {
public:
    void add(const Stroke& stroke);
    bool undo();
    bool redo();
    void clear();
    bool canUndo() const { return !m_strokes.isEmpty(); }
    bool canRedo() const { return !m_undone.isEmpty(); }
    const QVector<Stroke>& strokes() const { return m_strokes; }

private:
    QVector<Stroke> m_strokes;
    QVector<Stroke> m_undone;
};

// Whether a stroke in progress is worth keeping (a click with the
// rectangle tool draws nothing).
bool strokeHasSize(const Stroke& stroke);

// A premultiplied ARGB picture of `size`, transparent where nothing is;
// for the screen and the frames alike.
QImage renderStrokes(const QVector<Stroke>& strokes, const QSize& size);

} // namespace rec
} // namespace sc
