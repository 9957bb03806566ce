#pragma once

#include <QColor>
#include <QItemDelegate>
#include <QPixmap>
#include <QString>

class QComboBox;

// A combo's list rows drawn by hand, so that every styled list looks alike
// whatever the platform style: one colour pair for the row under the
// pointer, another for the rest, and the selected entry marked.
class VxComboboxViewItemDelegate : public QItemDelegate
{
    Q_OBJECT
public:
    explicit VxComboboxViewItemDelegate(QComboBox* combo);
    ~VxComboboxViewItemDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    void setItemHeight(int height) { m_nItemHeight = height; }
    void setItemWidth(int width) { m_nItemWidth = width; }
    void setTextLeftMargin(int margin) { m_nTextLeftMargin = margin; }
    void setCheckImageHeight(int height) { m_nCheckImageHeight = height; }
    void setCheckImageWidth(int width) { m_nCheckImageWidth = width; }
    void setTextColorH(const QColor& color) { m_textColorH = color; }
    void setTextColorN(const QColor& color) { m_textColorN = color; }
    void setBacColorH(const QColor& color) { m_bacColorH = color; }
    void setBacColorN(const QColor& color) { m_bacColorN = color; }
    // "normal*hovered": two picture paths; anything else keeps the pictures.
    void setCheckImage(const QString& spec);
    // The program's own check pictures; the hovered one white where hovered
    // rows have light text, else like the normal one. Call after the colours.
    void useStandardCheckImage();

    // A painter in the dialogs' light look, marking the current row, made
    // for `combo` and installed as its item delegate.
    static VxComboboxViewItemDelegate* install(QComboBox* combo);

    // Where the check picture of a row with rectangle `row` goes: halfway
    // between the row's left edge and the text margin.
    QPoint checkImagePos(const QRect& row) const;

private:
    QComboBox* m_pCombo;
    int m_nItemHeight = 20;
    int m_nItemWidth = 200;
    int m_nTextLeftMargin = 30;
    int m_nCheckImageHeight = 16;   // stored only: the pictures bring their own size
    int m_nCheckImageWidth = 16;
    QString m_strCheckImage;
    QColor m_textColorH = QColor(QStringLiteral("#ffffff"));
    QColor m_textColorN = QColor(QStringLiteral("#454545"));
    QColor m_bacColorH = QColor(QStringLiteral("#008aff"));
    QColor m_bacColorN = QColor(QStringLiteral("#ffffff"));
    QPixmap m_checkN;
    QPixmap m_checkH;
};
