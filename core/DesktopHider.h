#pragma once

#include <QList>
#include <QPair>
#include <QString>

// Other programs' windows (ScDesktopWindowKind kDesktopApps) and panels
// (kDesktopPanels) put out of sight while a recording runs.
//
// What is hidden is written to a file before it is hidden, so that a run
// that ends without bringing it back (a crash, a kill) leaves a note that
// the next start acts on: nothing stays hidden for good.
class DesktopHider
{
public:
    DesktopHider() = delete;

    // Hides the windows of `kind` that are on the screen now, but for those
    // of `keep`. A second call before show() adds what appeared meanwhile.
    static void hide(int kind, const QList<int>& keep = QList<int>());
    // Brings back exactly what hide() put away and still exists, in its
    // stacking order; windows opened meanwhile are not touched.
    static void show(int kind);
    // At start-up, with the engine running: brings back whatever an earlier
    // run left hidden.
    static void showLeftovers();
    // The note: one "kind id" line per window, bottom of the stack first.
    static QString notePath();

private:
    using Entry = QPair<int, unsigned int>;
    static QList<Entry> readNote();
    static bool writeNote(const QList<Entry>& entries);
};
