#pragma once

#include <QString>
#include <QStringList>

#include <functional>

#include "core/RecordTypes.h"
#include "platform/framework/VxDialogBase.h"

namespace Ui {
class DlgSetPermissions;
}
class VxMainWindowBase;
class QLabel;

// Explains why the camera, the microphone, the screen or the pointer cannot
// be used and what to do about it, with illustrated steps; opens the
// desktop's sound settings where they help and can restart the program.
// Modal, on the caller's stack.
class DlgSetPermissions : public VxDialogBase
{
    Q_OBJECT
public:
    explicit DlgSetPermissions(QWidget* parent = nullptr);
    ~DlgSetPermissions() override;

    // The window the guide centres itself on when shown; not owned.
    void setMainWindow(VxMainWindowBase* window);
    // Chooses the page and texts for what the engine says is missing.
    // showGuide: never asked before; the screen and the pointer then get
    // both steps (why, then what to do), otherwise only the second.
    void setshowGuide(Privacy_Setting kind, bool showGuide);
    // Places the step numbers, title icon and pictures for the reading
    // direction of the current language and loads the pictures.
    void adjustLanuage();

    // Starts a detached program; true when it started. Both links start
    // their program through it. Null restores QProcess::startDetached.
    using Starter = std::function<bool(const QString& program, const QStringList& arguments)>;
    static void setStarter(const Starter& starter);
    // Ends the event loop once the restart is under way. Null restores
    // QCoreApplication::exit.
    using Quitter = std::function<void(int code)>;
    static void setQuitter(const Quitter& quitter);

    // The detached command that starts this program again with its
    // arguments once the process `pid` has ended (program first).
    static QStringList restartCommand(qint64 pid, const QString& program, const QStringList& arguments);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void fillTexts();
    // The settings link, or the words that take its place.
    void showSettingsLink(bool available);
    void applyDirection(bool rightToLeft);
    void loadPictures(const QString& language, bool rightToLeft);
    void openSettings();
    void restartProgram();
    bool isLinkClick(QLabel* link, QEvent* event) const;

    Ui::DlgSetPermissions* m_pUi = nullptr;
    VxMainWindowBase* m_pMainWindow = nullptr;
    QString m_strPicPath; // the folder of the guide pictures
    int m_nKind = Privacy_Camera;
    int m_nRefusal = Refusal_None; // Permission_Refusal, from the engine
    bool m_bShowGuide = true;    // both steps are shown
    bool m_bSettingsLink = false;
    QString m_strNoSettings;
};
