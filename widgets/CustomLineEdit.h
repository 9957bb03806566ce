#pragma once

#include <QColor>
#include <QLineEdit>

// Hotkey entry as text: only keys that MapUtils names are taken, each press
// shows the key with the Shift, Ctrl and Alt held, and Backspace shows
// "No Hotkey". Releasing a key ends the entry (the edit gives up focus).
class CustomLineEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QColor tipColor READ tipColor WRITE setTipColor)
    Q_PROPERTY(QColor selectColor READ selectColor WRITE setSelectColor)
    Q_PROPERTY(int penWidth READ penWidth WRITE setPenWidth)
    Q_PROPERTY(float xRadius READ xRadius WRITE setXRadius)
    Q_PROPERTY(float yRadius READ yRadius WRITE setYRadius)
public:
    explicit CustomLineEdit(QWidget* parent = nullptr);

    void setTipText(const QString& text);
    void setTipTextItalic(bool italic);
    void setShowTipTextWhenFocused(bool show);

    QColor tipColor() const { return m_tipColor; }
    void setTipColor(const QColor& color);
    QColor selectColor() const { return m_selectColor; }
    void setSelectColor(const QColor& color);
    int penWidth() const { return m_penWidth; }
    void setPenWidth(int width);
    float xRadius() const { return m_xRadius; }
    void setXRadius(float radius);
    float yRadius() const { return m_yRadius; }
    void setYRadius(float radius);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The contents rectangle the style gives a line edit.
    QRect textRect() const;

    QString m_strTipText;
    bool m_bTipItalic = false;
    bool m_bShowTipWhenFocused = true;
    QColor m_tipColor = QColor(Qt::lightGray);
    QColor m_selectColor;
    int m_penWidth = 1;
    float m_xRadius = 0.5f;
    float m_yRadius = 5.0f;
};
