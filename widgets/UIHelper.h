#pragma once

#include <QObject>

class QWidget;

class UIHelper : public QObject
{
    Q_OBJECT
public:
    explicit UIHelper(QObject* parent = nullptr);

    // Shows `w` and centres it on `parent`; with `fitHeight` the height is
    // raised to at least the height `w` asks for. Nothing without both.
    static void moveParentWidgetCenter(QWidget* w, QWidget* parent, bool fitHeight);

    // The question a settings dialog asks when it is closed with changes:
    // QMessageBox::Yes (keep them), No (drop them) or Cancel (stay).
    static int askSaveChanges(QWidget* dialog);
};
