#pragma once

#include <QColor>
#include <QTextEdit>
#include <QWidget>

// The tip drawn over an empty CustomTextEdit: word-wrapped, top-left.
class TextWidget : public QWidget
{
    Q_OBJECT
public:
    explicit TextWidget(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return m_strText; }
    void setTipTextClr(const QColor& color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_strText;
    QColor m_clrTip;
};

// A text edit that shows a grey, wrapped tip while its document is empty.
class CustomTextEdit : public QTextEdit
{
    Q_OBJECT
    Q_PROPERTY(QColor tipTextClr READ tipTextClr WRITE setTipTextClr)
public:
    explicit CustomTextEdit(QWidget* parent = nullptr);

    void setTipText(const QString& text);
    QString tipText() const { return m_strTipText; }
    void setTipTextClr(const QColor& color);
    QColor tipTextClr() const { return m_clrTip; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString m_strTipText;
    QColor m_clrTip;
    TextWidget* m_pTextWidget = nullptr;
};
