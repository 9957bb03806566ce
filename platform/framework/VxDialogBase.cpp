#include "platform/framework/VxDialogBase.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>

#include <list>
#include <memory>

#include "platform/framework/VxProductInfo.h"

namespace {

// Dialogs now inside exec(), outermost first. A std::list keeps each entry's
// iterator valid while nested exec() calls add and remove theirs; QPointer
// drops a dialog that is deleted while it runs.
std::list<QPointer<QDialog>>& execDialogs()
{
    static std::list<QPointer<QDialog>> dialogs;
    return dialogs;
}

// A dialog is sized by its content: maximised it is a large empty area. The
// title bar offers closing (and minimising where a caller asks for it),
// never maximising. Qt leaves a window type's buttons to the window manager
// unless the hint bits are customised, so they are, whatever was passed.
Qt::WindowFlags dialogFlags(Qt::WindowFlags flags)
{
    if (!(flags & Qt::WindowType_Mask))
        flags |= Qt::Dialog;
    const Qt::WindowFlags type = flags & Qt::WindowType_Mask;
    // A frameless window has no title bar to trim; title hints on it make
    // some window managers give it a border after all.
    if (type != Qt::Dialog && type != Qt::Window)
        return flags;
    if (flags & Qt::FramelessWindowHint)
        return flags & ~(Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                         | Qt::WindowCloseButtonHint);
    flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    return flags & ~(Qt::WindowMaximizeButtonHint | Qt::WindowFullscreenButtonHint);
}

} // namespace

VxDialogBase::VxDialogBase(QWidget* parent, Qt::WindowFlags flags, bool frameless)
    : QDialog(parent, dialogFlags(flags))
{
    if (frameless)
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
}

VxDialogBase::~VxDialogBase() = default;

void VxDialogBase::postCreateDerivedDialog(bool framed, bool resizable, QMenuBar* menuBar)
{
    // A dialog has no menu bar of its own on this platform, and its size
    // policy comes from its form: flags set by the derived class stay.
    Q_UNUSED(resizable);
    Q_UNUSED(menuBar);
    if (framed) {
        if (windowTitle().isEmpty())
            setWindowTitle(VxProductInfo::instance()->productName());
    } else if (!(windowFlags() & Qt::FramelessWindowHint)) {
        setWindowFlags(windowFlags() | Qt::FramelessWindowHint);
    }
}

void VxDialogBase::setWindowFlags(Qt::WindowFlags flags)
{
    QDialog::setWindowFlags(dialogFlags(flags));
}

int VxDialogBase::exec()
{
    auto& dialogs = execDialogs();
    const auto entry = dialogs.insert(dialogs.end(), QPointer<QDialog>(this));
    // Nothing of this object may be touched after QDialog::exec(): the
    // dialog may have been deleted while it ran.
    const int result = QDialog::exec();
    dialogs.erase(entry);
    return result;
}

void VxDialogBase::openThen(QObject* context, std::function<void(int)> then)
{
    const QPointer<VxDialogBase> self(this);
    // A dialog finished twice, or finished and then deleted, still ends the
    // caller's road once.
    auto ended = std::make_shared<bool>(false);
    // Queued: finished() comes from inside the dialog's own handlers, which
    // must not find it deleted on return. A deferred delete that came first
    // leaves nothing to delete here.
    connect(
        this, &QDialog::finished, context,
        [self, then, ended](int result) {
            if (*ended)
                return;
            *ended = true;
            delete self.data();
            if (then)
                then(result);
        },
        Qt::QueuedConnection);
    connect(this, &QDialog::finished, this, &QObject::deleteLater);
    // Deleted unfinished (its parent went): as exec() would return then,
    // the road goes on with Rejected.
    connect(
        this, &QObject::destroyed, context,
        [then, ended] {
            if (*ended)
                return;
            *ended = true;
            if (then)
                then(QDialog::Rejected);
        },
        Qt::QueuedConnection);
    setWindowModality(Qt::ApplicationModal);
    show();
}

int VxDialogBase::getPopupDialogCount()
{
    return getAllExecDialogs().size();
}

QList<QDialog*> VxDialogBase::getAllExecDialogs()
{
    QList<QDialog*> list;
    for (const QPointer<QDialog>& dialog : execDialogs())
        if (dialog)
            list << dialog.data();
    // Modal windows that run a loop of their own (Qt's file and colour
    // dialogs, a form shown modally) block the user just the same: whoever
    // hides or raises the open dialogs must find them too. They come last,
    // as they were opened over the ones above.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(window);
        if (dialog && dialog->isVisible() && dialog->isModal() && !list.contains(dialog))
            list << dialog;
    }
    return list;
}

void VxDialogBase::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::LanguageChange)
        retranslateDerived();
}
