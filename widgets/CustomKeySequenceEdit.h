#pragma once

#include <QKeySequenceEdit>

// Hotkey entry that keeps one chord with a modifier other than Alt alone;
// a bare key, an Alt chord or Backspace leaves it empty. Before the first
// key it makes sure a Latin keyboard layout is active, asking the user.
class CustomKeySequenceEdit : public QKeySequenceEdit
{
    Q_OBJECT
public:
    explicit CustomKeySequenceEdit(QWidget* parent = nullptr);

signals:
    // After every key press that changed or confirmed the sequence.
    void editFinished();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
