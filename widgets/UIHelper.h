#pragma once

#include <QObject>

class QCloseEvent;
class QDialog;
class QFont;
class QWidget;

class UIHelper : public QObject
{
    Q_OBJECT
public:
    explicit UIHelper(QObject* parent = nullptr);

    // Shows `w` and centres it on `parent`; with `fitHeight` the height is
    // raised to at least the height `w` asks for. Nothing without both.
    static void moveParentWidgetCenter(QWidget* w, QWidget* parent, bool fitHeight);

    // Makes a window tall enough for its wrapped texts at its present
    // width; never lower. A top-level layout leaves that to the window.
    static void fitWrappedHeight(QWidget* window);

    // A settings dialog's closeEvent: unchanged, it is rejected; changed, the
    // question decides between accept() (which may refuse a value and keep
    // the dialog open), reject() and staying.
    static void closeSettingsDialog(QDialog* dialog, QCloseEvent* event, bool changed);

    // `text` with each full-width sign ("？", "！", "：" ...) that no font of
    // this machine can draw in `font` replaced by its plain counterpart, so
    // that a desktop without East Asian fonts shows "?" rather than a box.
    static QString drawableText(const QString& text, const QFont& font);
};
