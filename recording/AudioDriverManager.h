#pragma once

#include <QString>

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class AudioDriverManager;
}

// Shows whether system sound can be recorded and sets up (or takes away)
// what it needs by running the plug-in's scripts. Mode 0 asks to install
// (the home window, before a recording with system sound); any other mode
// shows the status with the Uninstall link (the preferences). Modal, on
// the caller's stack.
class AudioDriverManager : public VxDialogBase
{
    Q_OBJECT
public:
    AudioDriverManager(QWidget* parent, int mode);
    ~AudioDriverManager() override;

    void checkStatus();
    void installAudioDriver();
    void uninstallAudioDriver();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Tall enough for the page's wrapped texts.
    void showEvent(QShowEvent* event) override;

private:
    void checkAfterInstall();

    Ui::AudioDriverManager* m_pUi = nullptr;
    QString m_strTmpPath; // receives the command file of the script runs
};
