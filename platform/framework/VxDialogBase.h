#pragma once

#include <QDialog>
#include <QList>

#include <functional>

class QMenuBar;

// Base of the program's dialogs. It keeps the class-wide list of dialogs now
// running exec(), which the frame window uses to raise the right one.
class VxDialogBase : public QDialog
{
    Q_OBJECT
public:
    explicit VxDialogBase(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags(),
                          bool frameless = false);
    ~VxDialogBase() override;

    // Called by derived dialogs once their form is built: framed dialogs get
    // the product's title, frameless ones lose the window frame.
    void postCreateDerivedDialog(bool framed, bool resizable = false, QMenuBar* menuBar = nullptr);

    // Flags without a window type keep the dialog a dialog (callers often pass
    // only hint bits). A dialog's title bar never offers to maximise it.
    void setWindowFlags(Qt::WindowFlags flags);

    int exec() override;
    // The dialog on the heap, shown modal to the whole program as exec()
    // shows it, but without a loop inside the caller: this returns at once.
    // Once the dialog has closed and is deleted, `then` runs with the result
    // exec() would have given (Rejected when it was deleted unfinished, its
    // parent gone), unless `context` went first; the dialog is deleted in
    // any case.
    void openThen(QObject* context, std::function<void(int result)> then);

    static int getPopupDialogCount();
    static QList<QDialog*> getAllExecDialogs();

protected:
    void changeEvent(QEvent* event) override;
    virtual void retranslateDerived() {}
};
