#include "widgets/UIHelper.h"

#include <QCloseEvent>
#include <QDialog>
#include <QFontMetrics>
#include <QLayout>
#include <QMessageBox>
#include <QWidget>

#include "platform/framework/VxMessageBox.h"

UIHelper::UIHelper(QObject* parent)
    : QObject(parent)
{
}

void UIHelper::moveParentWidgetCenter(QWidget* w, QWidget* parent, bool fitHeight)
{
    if (!w || !parent)
        return;

    w->show();
    QRect geometry = w->geometry();
    if (fitHeight)
        geometry.setHeight(qMax(geometry.height(), w->sizeHint().height()));

    // The parent's area in the coordinates w's geometry uses: the screen for
    // a window, w's parent widget otherwise. For a window centred on a
    // window this is simply the parent's geometry; it also holds when the
    // parent is itself embedded in another window.
    QRect area(parent->mapToGlobal(QPoint(0, 0)), parent->size());
    if (!w->isWindow() && w->parentWidget())
        area.moveTopLeft(w->parentWidget()->mapFromGlobal(area.topLeft()));

    const QPoint centre(area.x() + area.width() / 2, area.y() + area.height() / 2);
    geometry.moveTopLeft(QPoint(centre.x() - geometry.width() / 2,
                                centre.y() - geometry.height() / 2));
    w->setGeometry(geometry);
}

void UIHelper::fitWrappedHeight(QWidget* window)
{
    // Long texts (and longer translations) make the window taller, never
    // narrower.
    QLayout* layout = window ? window->layout() : nullptr;
    if (!layout || !layout->hasHeightForWidth())
        return;
    layout->activate();
    const int needed = layout->totalHeightForWidth(window->width());
    if (needed > window->height())
        window->resize(window->width(), needed);
}

void UIHelper::closeSettingsDialog(QDialog* dialog, QCloseEvent* event, bool changed)
{
    // Yes keeps the changes, No drops them, Cancel stays.
    const int answer = changed ? VxMessageBox::question(dialog, tr("Preferences"),
                                                        tr("You have changed some settings. Do you want to save "
                                                           "the changes before exiting?"),
                                                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                                        QMessageBox::Yes, QMessageBox::Cancel)
                               : int(QMessageBox::No);
    if (answer == QMessageBox::Cancel) {
        event->ignore();
        return;
    }
    if (answer == QMessageBox::Yes) {
        dialog->accept();
        if (dialog->result() != QDialog::Accepted) {
            event->ignore();
            return;
        }
    } else {
        dialog->reject();
    }
    event->accept();
}

QString UIHelper::drawableText(const QString& text, const QFont& font)
{
    // The full-width forms of the printable ASCII signs sit 0xFEE0 above them.
    const QFontMetrics metrics(font);
    QString result = text;
    for (QChar& c : result) {
        if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E && !metrics.inFont(c))
            c = QChar(c.unicode() - 0xFEE0);
    }
    return result;
}
