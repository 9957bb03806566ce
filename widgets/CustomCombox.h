#pragma once

#include <QComboBox>
#include <QList>
#include <QListWidget>
#include <QPixmap>
#include <QStringList>
#include <QStyledItemDelegate>
#include <QVariant>

class CustomCombox;
class PrivateListWidget;

// Paints a popup row as [delete picture] text and turns a press on the
// picture into a removal request for the combo.
class PrivateListWidgetDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit PrivateListWidgetDelegate(QObject* parent = nullptr);

    void setButtonListWidget(PrivateListWidget* list, CustomCombox* combo);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The items carry no text of their own, so the row height comes from
    // the font and the picture rather than from the empty item.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Where the delete picture of a row with rectangle `row` lies; empty
    // without a picture.
    QRect pictureRect(const QRect& row) const;

protected:
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;

private:
    int leftIndent() const;

    PrivateListWidget* m_pList = nullptr;
    CustomCombox* m_pCombo = nullptr;
};

// The combo's model and popup view. The list items stay empty: the rows'
// texts and data live here and the delegate paints them.
class PrivateListWidget : public QListWidget
{
    Q_OBJECT
    Q_PROPERTY(QString deletedPicture READ deletedPicture WRITE setDeletedPicture)
public:
    PrivateListWidget(QWidget* parent, CustomCombox* combo);

    void addText(const QString& text, const QVariant& data);

    QString deletedPicture() const { return m_strDeletedPicture; }
    void setDeletedPicture(const QString& path);
    QPixmap deletedPixmap() const { return m_pixDeleted; }

    const QStringList& texts() const { return m_lstText; }
    const QList<QVariant>& textData() const { return m_lstData; }
    // Drops the text and data of `row`; false when there is no such row.
    bool removeRowData(int row);

private:
    QStringList m_lstText;
    QList<QVariant> m_lstData;
    QString m_strDeletedPicture;
    QPixmap m_pixDeleted;
    PrivateListWidgetDelegate* m_pDelegate = nullptr;
};

// A combo box listing attachments; each popup row carries a delete picture.
class CustomCombox : public QComboBox
{
    Q_OBJECT
public:
    explicit CustomCombox(QWidget* parent = nullptr);
    ~CustomCombox() override;

    void addText(const QString& text, const QVariant& data);
    QStringList getAllText() const;
    QList<QVariant> getAllTextData() const;
    int getLeftIndent() const { return m_nLeftIndent; }

    // Removes `row` shortly, from the event loop (the press that asks for it
    // is still being delivered to the popup).
    void triggerRemoveItem(int row);

    PrivateListWidget* privateListWidget() const { return m_pList; }

    void hidePopup() override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void removeRow(int row);

    PrivateListWidget* m_pList = nullptr;
    // Keeps the popup open after a delete press; hidePopup() clears it.
    int m_nPendingRow = -1;
    int m_nLeftIndent = -1;
};
