#pragma once

#include <QString>

#include "platform/framework/VxMainWindowBase.h"

namespace Ui {
class MainWindowBase;
class TitleTool;
}
class MainWindow;
class QFrame;
class VxApplicationUpdate;

// The application's outer frame: the title row with its tools, the
// always-on-top switch, and the client area that holds the home window's
// content. Closing it ends the program or sends it to the status bar, as
// the user answers (or once answered for good). main_entry makes exactly one.
class MainWindowBase : public VxMainWindowBase
{
    Q_OBJECT
    Q_PROPERTY(QString normalIcon READ normalIcon WRITE setNormalIcon)
    Q_PROPERTY(QString pauseIcon READ pauseIcon WRITE setPauseIcon)
    Q_PROPERTY(QString recordingIcon READ recordingIcon WRITE setRecordingIcon)
public:
    explicit MainWindowBase(QWidget* parent = nullptr);
    ~MainWindowBase() override;

    // Empty for every language today: no font family is set up anywhere,
    // so the program starts with the system's font.
    static QString appFontConf(const QString& language);
    static bool fontExist(const QString& family);

    QString normalIcon() const { return m_strNormalIcon; }
    QString pauseIcon() const { return m_strPauseIcon; }
    QString recordingIcon() const { return m_strRecordingIcon; }
    // The skin hands the status-bar item its icons through these.
    void setNormalIcon(const QString& path);
    void setPauseIcon(const QString& path);
    void setRecordingIcon(const QString& paths);

    MainWindow* mainWindow() const { return m_pMainWindow; }

    // The desktop's "reopen" request for a hidden program; X11 desktops
    // have no dock icon, so only the status-bar item and this call send it.
    void dockIconClicked();
    // Offers to restore a recording that a crash interrupted.
    void checkUnSaveFile();
    // The session ends the program (a termination signal): a recording
    // under way is finished and kept for the restore offer, then the run
    // ends.
    void endForSession(int signalNumber);

signals:
    void DeviecArriveal();

public slots:
    void on_changeSkin() override;
    void onFeedback();
    void onDropdownShow() {}
    void onDropdownHide() {}
    void onMenuBtnClicked();
    void onShowMini() {}
    void onTopHint();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool derivedProcGenerateWindowTitle(QString& title) override;
    bool derivedProcShowAboutDialog() override;
    bool derivedProcShowUpdateDialog(VxApplicationUpdate* update) override;
    bool doSomethingBeforeLanguageChanged(const QString& language) override;

private:
    enum CloseAnswer { Close_Quit, Close_Tray, Close_Keep };
    // The quit question unless the user asked not to be reminded; then
    // the stored closing setting decides alone.
    CloseAnswer askHowToClose();
    void fillTitle();
    void setupDockClickHandler();
    void onShowMainRequested();
    // True (and logged under the hook's name) while About and Update must
    // not show: a recording or its preparation would be disturbed.
    bool refuseFrameworkDialog(const char* hook) const;
    Qt::WindowFlags frameFlags(bool topMost) const;

    Ui::MainWindowBase* m_pUi = nullptr;
    Ui::TitleTool* m_pTitleUi = nullptr;
    MainWindow* m_pMainWindow = nullptr;
    QFrame* m_pTitleFrame = nullptr; // set once the title form is built
    QString m_strNormalIcon;
    QString m_strPauseIcon;
    QString m_strRecordingIcon;
};
