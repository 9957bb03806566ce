#pragma once

class QApplication;
class VxApplicationUpdate;

// The application framework's entry points: it owns the application object.
namespace Framework {

using LogCallback = void (*)(char* text);
using UpdateCallback = void (*)(VxApplicationUpdate* update);

// Framework lines go through this hook when set (else to the log library).
extern LogCallback m_pLog;

// Keeps a lasting copy of argc/argv (QApplication keeps a reference to argc)
// and creates the QApplication when none exists yet. flags is reserved.
bool init(int flags, int argc, char** argv);
// True when the command line only asks to open a URL ("--open-url <url>").
bool isAppUsedToPopUrl();
// False ends start-up (a mandatory update is pending); never here.
bool forceUpdatedCheck(UpdateCallback callback);
// Marks a mandatory update as pending (what an update service would learn);
// forceUpdatedCheck then returns false. Nothing sets it in a normal run.
void setForcedUpdatePending(bool pending);
void setAboutIcnShow(bool show);
bool aboutIcnShow();
void startService();
void uninit();
QApplication* application();

} // namespace Framework
