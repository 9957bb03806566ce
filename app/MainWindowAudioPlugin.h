#pragma once

class QWidget;

namespace homewindow {

// True when system sound can be recorded; otherwise offers the plug-in
// manager (centred on `frame`, modal over `owner`) and answers after it.
bool checkAudioPluginOffering(QWidget* owner, QWidget* frame);

} // namespace homewindow
