#pragma once

#include <QList>
#include <QString>

#include "Screencast.h"
#include "core/RecordTypes.h"
#include "platform/framework/VxDialogBase.h"

namespace Ui {
class DlgLockWindow;
}
class QTimer;

// The engine's last window list and the live preview drawn from it; the
// preview goes first, as it may still refer to windows of the list.
class CompositedImage
{
public:
    CompositedImage() = default;
    ~CompositedImage();
    CompositedImage(const CompositedImage&) = delete;
    CompositedImage& operator=(const CompositedImage&) = delete;

    // An empty choice reaches the engine as a null array with count 0.
    void ShowCompositedImage(WindowListOption option, QList<int> ids);

    CBasePtr<CWindowListObject> windowList;
    CBasePtr<CWindowCompositedImageObject> preview;
};

// "Window Selection": which windows a window recording takes in (one, only
// the checked ones, or all but the checked ones), with a live preview.
// OK writes the choice into RecordParameter; nothing is recorded here.
class DlgLockWindow : public VxDialogBase
{
    Q_OBJECT
public:
    explicit DlgLockWindow(QWidget* parent);
    ~DlgLockWindow() override;

    void initModeSelected();
    // The shown text of the row chosen in single-window mode; "" before one.
    QString getWindowName() const { return m_strWindowName; }

signals:
    void showRegionBox(bool show);

private slots:
    void onChangeModle();
    void onSelectChange();
    void onChbStateChange();
    void onAccept();
    void onTimerOut();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void intiComposited();
    void initWindowList();
    void addRow(const WindowInfo& info);
    void restoreChoice();
    void showSingle(int id);
    QList<int> checkedIds() const;

    Ui::DlgLockWindow* m_pUi = nullptr;
    int m_nMode = WindowModle_Single;
    CompositedImage* m_pComposited = nullptr;
    int m_nSelectedId = 0;
    QList<int> m_listChosenIds;
    QString m_strWindowName;
    int m_nNameWidth = 260;
    QTimer* m_pTimer = nullptr;
};
