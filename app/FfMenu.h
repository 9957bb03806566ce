#pragma once

#include <QFrame>
#include <QList>

namespace Ui {
class FfMenu;
}
class QAbstractButton;
class QButtonGroup;
class QVBoxLayout;

// A popup frame with a scrolling column of mutually exclusive buttons,
// optional header frames and a "Manage" button. A QMenu shows it through a
// QWidgetAction; clicks come out through the two signals.
class FfMenu : public QFrame
{
    Q_OBJECT
public:
    explicit FfMenu(QWidget* parent = nullptr);
    ~FfMenu() override;

    void addButton(QAbstractButton* button);
    void addButtons(const QList<QAbstractButton*>& buttons);
    // Takes the button out of the column and the group and deletes it.
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
