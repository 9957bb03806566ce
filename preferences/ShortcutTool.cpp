#include "preferences/ShortcutTool.h"

#include <QPointer>

#include "preferences/OptionDialog.h"

namespace {
// Class-wide: the frame closes it without knowing which strip opened it.
// QPointer, because hideOptionDlg deletes it while its exec() still runs.
QPointer<OptionDialog> g_pOptionDlg;
}

ShortcutTool::ShortcutTool(QWidget* parent)
    : QFrame(parent)
{
    setObjectName(QStringLiteral("ShortcutTool"));
}

ShortcutTool::~ShortcutTool() = default;

void ShortcutTool::showOptionDlg(SETTINGPAGE page)
{
    emit sigShowChildeDlg(false);
    if (g_pOptionDlg)
        return;
    QPointer<ShortcutTool> self(this);
    // Deleted by hideOptionDlg, or with this strip, while it runs: the
    // guards are null then.
    QPointer<OptionDialog> dialog(new OptionDialog(page, this));
    g_pOptionDlg = dialog;
    dialog->setModal(true);
    dialog->exec();
    delete dialog.data();
    if (self)
        emit self->sigShowChildeDlg(true);
}

void ShortcutTool::hideOptionDlg()
{
    OptionDialog* dialog = g_pOptionDlg.data();
    if (!dialog || !dialog->isVisible())
        return;
    g_pOptionDlg = nullptr;
    dialog->reject();
    delete dialog;
}

OptionDialog* ShortcutTool::openOptionDlg()
{
    return g_pOptionDlg.data();
}
