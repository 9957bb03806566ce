// Saves pictures of the smaller windows for looking at: the record-length
// panel, the watermark drop-down and manager, the floating panel, the quit
// prompt, a pinned picture over a window, the four preferences pages, the
// task schedule dialog and its task editor, open combo lists (the history
// filter, the watermark position) and the feedback form. Each is
// shown without its modal loop, photographed from the screen and closed.
//
//   dialogs_demo OUTDIR
//
// Needs an X display; scripts/screenshots.sh runs it in the test
// environment with the real engine.
#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QMenu>
#include <QPainter>
#include <QTest>
#include <QWidgetAction>

#include <cstdio>

#include "tools/WindowShot.h"
#include "Screencast.h"
#include "app/DlgQuitMessage.h"
#include "app/FfFloatWindow.h"
#include "capture/RecordHistoryDlg.h"
#include "core/Utils.h"
#include "feedback/FeedBackDialog.h"
#include "platform/framework/VxSettings.h"
#include "capture/DlgPaintToScreen.h"
#include "preferences/OptionDialog.h"
#include "schedule/TaskEditDlg.h"
#include "schedule/dlgTaskScheduler.h"
#include "watermark/DlgWatermarkManage.h"
#include "watermark/WaterMarkDataManage.h"
#include "watermark/WhaterMarkMenuDlg.h"
#include "widgets/FfTimeSetting.h"

namespace {

QString g_out;
int g_failures = 0;

void shoot(QWidget* window, const QString& name)
{
    if (!QTest::qWaitForWindowExposed(window)) {
        std::fprintf(stderr, "dialogs_demo: %s never showed\n", qPrintable(name));
        ++g_failures;
        return;
    }
    if (!shootWindow(window, QDir(g_out).filePath(name + ".png"), 300, 6))
        ++g_failures;
}

void showAndShoot(QWidget* window, const QString& name)
{
    window->move(200, 150);
    window->show();
    shoot(window, name);
    window->close();
}

void timePanel()
{
    QMenu menu;
    auto* action = new QWidgetAction(&menu);
    auto* panel = new FfTimeSetting(&menu);
    action->setDefaultWidget(panel);
    menu.addAction(action);
    menu.popup(QPoint(200, 150));
    shoot(&menu, QStringLiteral("strip-record-length"));
    menu.hide();
}

void watermarks()
{
    WhaterMarkMenuDlg dropDown;
    dropDown.onLoadData(WaterMarkDataManage::instance()->m_nCurrentIndex);
    showAndShoot(&dropDown, QStringLiteral("strip-watermark-menu"));
    DlgWatermarkManage manager;
    manager.onInitUI();
    showAndShoot(&manager, QStringLiteral("watermark-manager"));
}

// A picture pinned over a window with lines, so that its shadow shows
// against something that is not flat.
void pinnedPicture()
{
    QWidget under;
    under.setAutoFillBackground(true);
    QPalette palette = under.palette();
    palette.setColor(QPalette::Window, QColor(0xe8, 0xf0, 0xe0));
    under.setPalette(palette);
    under.setGeometry(150, 100, 520, 380);
    under.show();
    (void)QTest::qWaitForWindowExposed(&under);
    QImage picture(320, 200, QImage::Format_RGB32);
    picture.fill(QColor(0x30, 0x60, 0xa0));
    QPainter painter(&picture);
    painter.setPen(QPen(Qt::white, 3));
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("Pinned"));
    painter.end();
    picture.setOffset(QPoint(250, 200));
    DlgPaintToScreen pinned;
    pinned.setImg(picture);
    pinned.show();
    shoot(&pinned, QStringLiteral("pinned-picture"));
}

// The list of `combo` open on its entry `current`, the window behind it.
void openList(QWidget* window, const char* combo, int current, const QString& name)
{
    window->move(200, 150);
    window->show();
    (void)QTest::qWaitForWindowExposed(window);
    auto* box = window->findChild<QComboBox*>(QLatin1String(combo));
    {
        // Only the list's look: the window must not take it as an edit.
        const QSignalBlocker quiet(box);
        box->setCurrentIndex(current);
    }
    box->showPopup();
    QWidget* list = box->view()->window();
    (void)QTest::qWaitForWindowExposed(list);
    shoot(list, name);
    box->hidePopup();
    window->close();
}

void comboLists()
{
    RecordHistoryDlg history;
    openList(&history, "cmbFilter", 2, QStringLiteral("list-history-filter"));
    DlgWatermarkManage manager;
    manager.onInitUI();
    openList(&manager, "cmbPosition", 3, QStringLiteral("list-watermark-position"));
}

void preferences()
{
    const char* names[] = {"prefs-mouse", "prefs-output", "prefs-hotkeys", "prefs-recording"};
    for (int page = 0; page < 4; ++page) {
        OptionDialog dialog(static_cast<SETTINGPAGE>(page));
        showAndShoot(&dialog, QLatin1String(names[page]));
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: dialogs_demo OUTDIR\n");
        return 2;
    }
    g_out = QString::fromLocal8Bit(argv[1]);
    scInitialize();
    timePanel();
    watermarks();
    {
        FfFloatWindow panel;
        showAndShoot(&panel, QStringLiteral("floating-panel"));
    }
    {
        DlgQuitMessage prompt;
        showAndShoot(&prompt, QStringLiteral("quit-prompt"));
    }
    pinnedPicture();
    comboLists();
    preferences();
    {
        dlgTaskScheduler tasks;
        showAndShoot(&tasks, QStringLiteral("task-schedule"));
        TaskEditDlg editor(TaskInfo{});
        showAndShoot(&editor, QStringLiteral("task-editor"));
    }
    {
        VxSettings::instance()->appendLogPath(Utils::getAppLogPath());
        FeedBackDialog feedback;
        showAndShoot(&feedback, QStringLiteral("feedback"));
    }
    scUninitialize();
    return g_failures == 0 ? 0 : 1;
}
