#pragma once

#include <QColor>
#include <QLineEdit>

// A search box that shows an italic tip while it is empty and unfocused.
class SearchEdit : public QLineEdit
{
    Q_OBJECT
    Q_PROPERTY(QColor textColor READ textColor WRITE setTextColor)
    Q_PROPERTY(int textHOffset READ textHOffset WRITE setTextHOffset)
public:
    explicit SearchEdit(QWidget* parent = nullptr);

    QColor textColor() const { return m_clrText; }
    void setTextColor(const QColor& color);
    int textHOffset() const { return m_nTextHOffset; }
    void setTextHOffset(int offset);

    QString tipText() const { return m_strTipText; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QString m_strTipText;
    QColor m_clrText = QColor(0, 0, 0, 255);
    int m_nTextHOffset = 20;
};
