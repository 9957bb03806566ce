#include "widgets/VxComboboxViewItemDelegate.h"

#include <QComboBox>
#include <QPainter>
#include <QStringList>

VxComboboxViewItemDelegate::VxComboboxViewItemDelegate(QComboBox* combo)
    : QItemDelegate(combo)
    , m_pCombo(combo)
{
}

VxComboboxViewItemDelegate::~VxComboboxViewItemDelegate() = default;

void VxComboboxViewItemDelegate::setCheckImage(const QString& spec)
{
    m_strCheckImage = spec;
    const QStringList parts = spec.split(QLatin1Char('*'), Qt::KeepEmptyParts);
    if (parts.size() != 2)
        return;
    m_checkN = QPixmap(parts.at(0));
    m_checkH = QPixmap(parts.at(1));
}

void VxComboboxViewItemDelegate::useStandardCheckImage()
{
    const char* hovered = m_textColorH.lightness() > 160 ? ":/widgets/check_white.svg" : ":/widgets/check.svg";
    setCheckImage(QStringLiteral(":/widgets/check.svg*") + QLatin1String(hovered));
}

VxComboboxViewItemDelegate* VxComboboxViewItemDelegate::install(QComboBox* combo)
{
    auto* rows = new VxComboboxViewItemDelegate(combo);
    rows->setItemHeight(24);
    rows->setTextLeftMargin(28);   // room for the check picture before the text
    rows->setTextColorH(QColor(0xd9, 0x25, 0x2b));
    rows->setTextColorN(QColor(0x3c, 0x46, 0x50));
    rows->setBacColorH(QColor(0xfd, 0xec, 0xed));
    rows->setBacColorN(Qt::white);
    rows->useStandardCheckImage();
    combo->setItemDelegate(rows);
    return rows;
}

QPoint VxComboboxViewItemDelegate::checkImagePos(const QRect& row) const
{
    // C++ division truncates toward zero, as the placement wants.
    const int x = (row.left() + (row.left() + m_nTextLeftMargin - 1)) / 2 - (m_checkN.width() - 1) / 2;
    const int y = (row.top() + row.bottom()) / 2 - (m_checkN.height() - 1) / 2;
    return QPoint(x, y);
}

void VxComboboxViewItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const
{
    if (!index.isValid())
        return;
    const int current = m_pCombo ? m_pCombo->currentIndex() : -1;
    const QString text = m_pCombo ? m_pCombo->itemText(index.row()) : index.data().toString();

    painter->save();
    QRect textRect = option.rect;
    // An absolute x in the list, not an indent from the row's left edge.
    textRect.setLeft(m_nTextLeftMargin);
    const QRect checkRect(checkImagePos(option.rect), m_checkN.size());
    const bool hovered = option.state & QStyle::State_MouseOver;
    painter->fillRect(option.rect, hovered ? m_bacColorH : m_bacColorN);
    const QPixmap& check = hovered ? m_checkH : m_checkN;
    if (index.row() == current && !check.isNull())
        painter->drawPixmap(checkRect, check);
    painter->setPen(hovered ? m_textColorH : m_textColorN);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

QSize VxComboboxViewItemDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex& index) const
{
    if (index.row() < 0 || index.column() < 0 || !index.model())
        return QSize(0, 0);
    return QSize(m_nItemWidth, m_nItemHeight);
}
