#pragma once

#include <QWidget>

// The preview's timeline: the played part up to the position, a knob at
// the position, and while trimming two handles that bound the part kept,
// with what falls outside dimmed. A click or drag on the bar seeks; a drag
// that starts on a handle moves that handle instead. Times are seconds.
class TrimBar : public QWidget
{
    Q_OBJECT
public:
    explicit TrimBar(QWidget* parent = nullptr);

    void setDuration(double seconds);
    double duration() const { return m_duration; }
    void setPosition(double seconds);
    double position() const { return m_position; }
    // Entering trim mode puts the handles at the ends of the file.
    void setTrimming(bool trimming);
    bool isTrimming() const { return m_trimming; }
    double trimStart() const { return m_start; }
    double trimEnd() const { return m_end; }

    QSize sizeHint() const override;

signals:
    void seekRequested(double seconds);
    // A handle moved; `moved` is the time of the handle that moved.
    void rangeChanged(double start, double end, double moved);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    enum class Drag { None, Seek, Start, End };
    QRectF track() const;
    double xOf(double seconds) const;
    double timeAt(double x) const;
    void dragTo(double x);

    double m_duration = 0.0;
    double m_position = 0.0;
    double m_start = 0.0;
    double m_end = 0.0;
    bool m_trimming = false;
    Drag m_drag = Drag::None;
};
