#pragma once

#include <QFrame>
#include <QList>

namespace Ui {
class FfMenu;
}
class QAbstractButton;
class QButtonGroup;
class QVBoxLayout;

// A popup frame that lists exclusive choices, one checked at most, in a
// column that scrolls when long; header frames may sit between them and a
// "Manage" button ends it. A QMenu hosts it through a QWidgetAction and the
// two signals report the clicks.
class FfMenu : public QFrame
{
    Q_OBJECT
public:
    explicit FfMenu(QWidget* parent = nullptr);
    ~FfMenu() override;

    void addButton(QAbstractButton* button);
    void addButtons(const QList<QAbstractButton*>& buttons);
    // Removes the button from both the layout and the exclusive group, then
    // deletes it.
    void removeButton(QAbstractButton* button);
    void addFrame(QFrame* frame);
    // Takes the frame out of the column and deletes it.
    void removeFrame(QFrame* frame);
    // Leaves no button checked (an exclusive group cannot do that alone).
    void clearButtonChecked();
    void setManagerBtnVisable(bool visible);

signals:
    void buttonClicked(QAbstractButton* button);
    void manageClicked(bool checked);

protected:
    void changeEvent(QEvent* event) override;

private:
    Ui::FfMenu* m_pUi = nullptr;
    QButtonGroup* m_pGroup = nullptr;
    QVBoxLayout* m_pButtonLayout = nullptr;
};
