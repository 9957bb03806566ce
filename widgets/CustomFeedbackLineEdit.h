#pragma once

#include <QColor>
#include <QLineEdit>

// A line edit with a grey tip while empty, optionally hidden while focused.
class CustomFeedbackLineEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QColor tipTextClr READ tipTextClr WRITE setTipTextClr)
public:
    explicit CustomFeedbackLineEdit(QWidget* parent = nullptr);

    void setTipText(const QString& text);
    QString tipText() const { return m_strTipText; }
    void setTipTextClr(const QColor& color);
    QColor tipTextClr() const { return m_clrTip; }
    void setTipTextItalic(bool italic);
    void setShowTipTextWhenFocused(bool show);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // Whether the tip is drawn now (empty text, focus rule).
    bool isTipShown() const;

    QString m_strTipText;
    QColor m_clrTip;
    bool m_bItalic = false;
    bool m_bShowWhenFocused = true;
};
