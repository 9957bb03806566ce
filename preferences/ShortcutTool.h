#pragma once

#include <QFrame>

#include "core/RecordTypes.h"

class OptionDialog;

// The home window's preferences strip. It runs the preferences dialog, one
// at a time for the whole program, and tells the home window to step aside
// while it is open.
class ShortcutTool : public QFrame
{
    Q_OBJECT
public:
    explicit ShortcutTool(QWidget* parent = nullptr);
    ~ShortcutTool() override;

    // Emits sigShowChildeDlg(false); unless a preferences dialog is already
    // open, runs one modally on the page, deletes it and emits
    // sigShowChildeDlg(true).
    void showOptionDlg(SETTINGPAGE page);
    // Rejects and deletes the open preferences dialog, if one is shown.
    static void hideOptionDlg();
    // The preferences dialog now open, or null.
    static OptionDialog* openOptionDlg();

signals:
    void sigShowChildeDlg(bool show);
};
