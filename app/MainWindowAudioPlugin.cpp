#include "app/MainWindowAudioPlugin.h"

#include "core/DeviceManager.h"
#include "recording/AudioDriverManager.h"
#include "widgets/UIHelper.h"

namespace homewindow {

bool checkAudioPluginOffering(QWidget* owner, QWidget* frame)
{
    DeviceManager* devices = DeviceManager::instance();
    if (devices->checkVirtualAudioDriver())
        return true;
    AudioDriverManager manager(owner, 0);
    manager.setModal(true);
    UIHelper::moveParentWidgetCenter(&manager, frame, false);
    manager.exec();
    return devices->checkVirtualAudioDriver();
}

} // namespace homewindow
