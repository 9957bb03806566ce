#pragma once

#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include "platform/framework/VxWidgetBase.h"

namespace Ui {
class FfFloatWindow;
}
class CusMenuItemIconStyle;
class DlgPaintToScreen;
class MainWindow;
class QAction;
class QMenu;
class QPropertyAnimation;
class QRadioButton;
class QTimer;

// One radio entry of a panel menu; "Index" tells the handler which
// display or camera it stands for (-1 = off).
QRadioButton* addWidgetAction(QMenu* menu, const QString& text, int index, bool checked);

// The strip of shortcuts that floats above everything while the home
// window waits in the tray. Left hanging over an edge, it tucks itself
// away once the pointer leaves and keeps a round marker there; hovering
// the marker pulls it back. Every button only emits; the home window
// decides what happens.
class FfFloatWindow : public VxWidgetBase
{
    Q_OBJECT
public:
    explicit FfFloatWindow(QWidget* parent = nullptr);
    ~FfFloatWindow() override;

    void setMainwindow(MainWindow* home) { m_pMainWindow = home; }
    void setCanStart(bool can);
    void changeLanguage();

    // The entries of the display and webcam menus; `current` is checked,
    // -1 for off.
    void setDisplays(const QStringList& names, int current);
    void setCameras(const QStringList& names, int current);
    // Which of each on/off pair of buttons shows.
    void setSoundStates(bool speaker, bool microphone);

    QPoint restPos() const { return m_ptRest; }
    QPoint dockedPos() const { return m_ptDocked; }
    QPoint tabPos() const { return m_ptTab; }
    bool isDocked() const { return m_bDocked; }
    QMenu* contextMenu() const { return m_pContextMenu; }

signals:
    void start();
    void showMain();
    void taskTriggered();
    void showOptions();
    void snapshot();
    void speakerChanged(bool on);
    void microphonerChanged(bool on);
    void switchOffMoniter(bool on);
    void changeMoniter(int index);
    void switchOffCamera(bool on);
    void changeCamera(int index);
    void actionTriggeredFromFloatWindow(QAction* action);
    void mouseMove();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void connectButtons();
    void applyIcons();
    void poll();
    void slideOut();
    void slideIn();
    void queueSlide(const QPoint& from, const QPoint& to, bool mouseIn);
    void startQueue();
    void onSlideFinished();
    void fillMenu(QMenu* menu, const QStringList& names, int current, bool display);
    void onMenuEntry(QRadioButton* entry, bool display);
    void updateDeviceTips();
    bool anyMenuVisible() const;
    QRect desktop() const;

    Ui::FfFloatWindow* ui = nullptr;
    QPointer<DlgPaintToScreen> m_pTab;
    QImage m_imgTab;   // sets the tab's size; its window is drawn from the pictures
    bool m_bDragging = false;
    bool m_bOffScreen = false;
    bool m_bDocked = false;
    bool m_bMouseIn = false;
    QPoint m_ptRest;
    QPoint m_ptDocked;
    QPoint m_ptTab;
    QPoint m_ptDragOffset;
    // Slides wait here in order; only the first one runs.
    QList<QPropertyAnimation*> m_slides;
    MainWindow* m_pMainWindow = nullptr;
    QMenu* m_pContextMenu = nullptr;
    CusMenuItemIconStyle* m_pMenuStyle = nullptr; // the context menu's icon size
    QAction* m_pStartAction = nullptr;
    QAction* m_pShowMainAction = nullptr;
    QAction* m_pTaskAction = nullptr;
    QMenu* m_pMoniterMenu = nullptr;
    QMenu* m_pCameraMenu = nullptr;
    QTimer* m_pPoll = nullptr;
};
