#pragma once

#include <QColor>
#include <QFrame>
#include <QMap>

#include "capture/CanvasShapes.h"

class QButtonGroup;
class QComboBox;
class QHBoxLayout;
class QLayout;
class QSpinBox;
class QToolButton;

// Picks how to draw on the recording; the canvas itself belongs to whoever
// listens. A new look (size, colour, font size, next number) re-emits
// startCanvs with the current tool so the canvas restarts it (0 when no
// tool is picked); picking the same tool twice emits stopCanvs(false),
// leaving emits stopCanvs(true).
class FfColor : public QFrame
{
    Q_OBJECT
public:
    explicit FfColor(QWidget* parent = nullptr);
    ~FfColor() override;

    int getFontSize() const;
    // Stroke width in pixels of the current tool at the chosen size.
    int getPainterSize() const;
    QColor getColor() const;
    QColor getBackgroundColor() const;
    // The next callout number minus 1.
    int numberNumber() const;
    void setHasBlur(bool has);
    // Drawing was left from outside the bar (Esc, stop): no tool is active
    // any more. Emits nothing: the owner already stopped the canvas.
    void resetTool();

public slots:
    // The canvas placed a callout: `next` is the number the next one gets.
    // Shown without a change signal (the canvas already knows it).
    void setNumberNumber(int next);

signals:
    void redo();
    void undo();
    void startCanvs(int tool);
    void stopCanvs(bool quit);
    void clear();

private:
    void onToolClicked(int tool);
    void onLeave();
    void onColorPicked(const QColor& colour);
    void lookChanged();
    void updateTools();
    void updateSwatches();
    QLayout* buildToolRow();
    QLayout* buildOptionRow();
    void addColourButtons(QHBoxLayout* options);
    QToolButton* makeButton(const QString& name, const QString& tip, const QIcon& icon, bool checkable);

    int m_nTool = CanvasShapes_None;
    Line_Size m_lineSize = Line_Size_Middle;
    QColor m_colour;
    QColor m_background;
    QMap<int, QToolButton*> m_tools;
    QButtonGroup* m_pSizes = nullptr;
    QToolButton* m_pSwatchColour = nullptr;
    QToolButton* m_pSwatchBackground = nullptr;
    QComboBox* m_pFontSize = nullptr;
    QSpinBox* m_pNumber = nullptr;
};
