#pragma once

#include <QFrame>
#include <QPointer>

class DlgWatermarkManage;
class FfTimeSetting;
class QMenu;
class MainWindowBase;
class QPushButton;
class RecordHistoryDlg;
class WhaterMarkMenuDlg;

namespace Ui {
class RecordHistoryTool;
}

// The row of tools under the home window: the history of saved files, and
// for the timed recording, the scheduled tasks and the watermark whether
// each is on. Through sigShowChildeDlg it asks the home window to step
// aside while one of the row's dialogs is up.
class RecordHistoryTool : public QFrame
{
    Q_OBJECT
public:
    explicit RecordHistoryTool(QWidget* parent = nullptr);
    ~RecordHistoryTool() override;

    // The frame window: parent of the strip's boxes and dialogs, and the
    // window the history dialog is centred over. Set once by the home window.
    void setMainWindowBase(MainWindowBase* frame);

    // True while the history dialog runs.
    bool isShowHistory() const { return m_bShowHistory; }

    RecordHistoryDlg* historyDlg() const { return m_pHistoryDlg; }
    WhaterMarkMenuDlg* waterMarkMenu() const;
    QMenu* durationMenu() const { return m_pDurationMenu; }

    // Sets the text, shortened in the middle (full text as tool tip) when it
    // does not fit the button.
    void onElideText(QPushButton* button, QString& text);

public slots:
    // The arguments play no part: the state is read from the settings.
    void onCheckDurationState(bool changed);
    void onCheckTaskState(bool changed);
    void onShowHistory();
    void onHistoryClosed();
    void onShowDurationMenu();
    void onShowTaskDlg();
    void onShowWhaterMarkMenuDlg();
    void onAMWaterMarkClicked();
    void onPopViewListItemClicked(int index, QString name, int row = -1);
    void onWatermarkManageFinished();

signals:
    // Carries false as a dialog of this row is about to open and true once
    // it has gone.
    void sigShowChildeDlg(bool show);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void onInitWaterMark();
    void applyIcons();

    Ui::RecordHistoryTool* ui = nullptr;
    QPointer<MainWindowBase> m_pMainWindowBase;
    bool m_bShowHistory = false;
    RecordHistoryDlg* m_pHistoryDlg = nullptr;
    FfTimeSetting* m_pTimeSetting = nullptr;
    QMenu* m_pDurationMenu = nullptr;
    QPointer<WhaterMarkMenuDlg> m_pWaterMarkMenuDlg;
    QPointer<DlgWatermarkManage> m_pWatermarkManage;
};
