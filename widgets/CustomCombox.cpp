#include "widgets/CustomCombox.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStylePainter>
#include <QTimer>

namespace {
const int kRemoveDelayMs = 10;
}

// ---------------------------------------------------------------- delegate

PrivateListWidgetDelegate::PrivateListWidgetDelegate(QObject* parent)
    : QStyledItemDelegate(parent)
{
}

void PrivateListWidgetDelegate::setButtonListWidget(PrivateListWidget* list, CustomCombox* combo)
{
    m_pList = list;
    m_pCombo = combo;
}

int PrivateListWidgetDelegate::leftIndent() const
{
    // The combo learns its indent at its first paint; rows painted before
    // that start at the row's edge.
    return m_pCombo ? qMax(0, m_pCombo->getLeftIndent()) : 0;
}

QRect PrivateListWidgetDelegate::pictureRect(const QRect& row) const
{
    if (!m_pList || !m_pCombo || m_pList->deletedPixmap().isNull())
        return QRect();
    const QPixmap picture = m_pList->deletedPixmap();
    const QSize size = picture.size() / picture.devicePixelRatio();
    const QRect box(row.left() + leftIndent(), row.top(), m_pCombo->iconSize().width(),
                    row.height());
    return QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, box);
}

void PrivateListWidgetDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                      const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (!m_pList || !m_pCombo)
        return;
    const int row = index.row();
    if (row < 0 || row >= m_pList->texts().size())
        return;

    const QRect rowRect = option.rect;
    int textLeft = rowRect.left() + leftIndent();
    const QRect picture = pictureRect(rowRect);
    if (!picture.isEmpty()) {
        painter->drawPixmap(picture, m_pList->deletedPixmap());
        textLeft += m_pCombo->iconSize().width() + 5;
    }
    const QRect textRect(textLeft, rowRect.top(), qMax(0, rowRect.right() - textLeft + 1),
                         rowRect.height());
    const QString text =
        option.fontMetrics.elidedText(m_pList->texts().at(row), Qt::ElideRight, textRect.width());

    painter->save();
    const bool selected = option.state & QStyle::State_Selected;
    painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, text);
    painter->restore();
}

QSize PrivateListWidgetDelegate::sizeHint(const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    int height = option.fontMetrics.height() + 6;
    if (m_pList && !m_pList->deletedPixmap().isNull()) {
        const QPixmap picture = m_pList->deletedPixmap();
        height = qMax(height, int(picture.height() / picture.devicePixelRatio()) + 4);
    }
    size.setHeight(qMax(size.height(), height));
    return size;
}

bool PrivateListWidgetDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                            const QStyleOptionViewItem& option,
                                            const QModelIndex& index)
{
    if (event->type() == QEvent::MouseButtonPress && m_pCombo) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QRect picture = pictureRect(option.rect);
        if (mouse->button() == Qt::LeftButton && !picture.isEmpty()
            && picture.contains(mouse->pos())) {
            m_pCombo->triggerRemoveItem(index.row());
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

// ---------------------------------------------------------------- list

PrivateListWidget::PrivateListWidget(QWidget* parent, CustomCombox* combo)
    : QListWidget(parent)
    , m_pDelegate(new PrivateListWidgetDelegate(this))
{
    m_pDelegate->setButtonListWidget(this, combo);
    setItemDelegate(m_pDelegate);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setViewMode(QListView::ListMode);
    setMouseTracking(true);
}

void PrivateListWidget::addText(const QString& text, const QVariant& data)
{
    m_lstText.append(text);
    m_lstData.append(data);
    addItem(new QListWidgetItem());
}

void PrivateListWidget::setDeletedPicture(const QString& path)
{
    m_strDeletedPicture = path;
    m_pixDeleted = QPixmap(path);
    viewport()->update();
}

bool PrivateListWidget::removeRowData(int row)
{
    if (row < 0 || row >= m_lstText.size())
        return false;
    m_lstText.removeAt(row);
    if (row < m_lstData.size())
        m_lstData.removeAt(row);
    return true;
}

// ---------------------------------------------------------------- combo

CustomCombox::CustomCombox(QWidget* parent)
    : QComboBox(parent)
    , m_pList(new PrivateListWidget(nullptr, this))
{
    m_pList->setObjectName("privateListWidget");
    // The model first, so setView() finds the list's own model in place and
    // does not try to replace it.
    setModel(m_pList->model());
    setView(m_pList); // the popup container takes ownership of the list
    setEditable(false);
    setMinimumContentsLength(20);
    hide();
}

CustomCombox::~CustomCombox() = default;

void CustomCombox::addText(const QString& text, const QVariant& data)
{
    m_pList->addText(text, data);
    show();
}

QStringList CustomCombox::getAllText() const
{
    return m_pList->texts();
}

QList<QVariant> CustomCombox::getAllTextData() const
{
    return m_pList->textData();
}

void CustomCombox::triggerRemoveItem(int row)
{
    m_nPendingRow = row;
    // Each request carries its own row: a release that comes before the
    // removal runs (a quick click) clears the pending row.
    QTimer::singleShot(kRemoveDelayMs, this, [this, row] { removeRow(row); });
}

void CustomCombox::removeRow(int removed)
{
    if (!m_pList->removeRowData(removed))
        return;

    m_pList->clear();
    const int remaining = m_pList->texts().size();
    for (int i = 0; i < remaining; ++i)
        m_pList->addItem(new QListWidgetItem());

    if (remaining == 0) {
        setCurrentIndex(-1);
        hide();
        return;
    }
    // The row that took the removed one's place; after the last row that is
    // the new last row (the removed index itself no longer exists).
    const int row = qMin(removed, remaining - 1);
    setCurrentIndex(row);
    m_pList->setCurrentRow(row);
}

void CustomCombox::hidePopup()
{
    if (m_nPendingRow == -1 || count() == 0)
        QComboBox::hidePopup();
    m_nPendingRow = -1;
}

void CustomCombox::paintEvent(QPaintEvent* /*event*/)
{
    QStylePainter painter(this);
    painter.setPen(palette().color(QPalette::Text));

    QStyleOptionComboBox option;
    initStyleOption(&option);
    const int index = currentIndex();
    const QStringList& texts = m_pList->texts();
    option.currentText = (index >= 0 && index < texts.size()) ? texts.at(index) : QString();
    option.currentIcon = m_pList->deletedPixmap().isNull() ? QIcon()
                                                           : QIcon(m_pList->deletedPixmap());
    painter.drawComplexControl(QStyle::CC_ComboBox, option);

    if (m_nLeftIndent < 0) {
        m_nLeftIndent = style()
                            ->subControlRect(QStyle::CC_ComboBox, &option,
                                             QStyle::SC_ComboBoxEditField, this)
                            .x();
    }
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
