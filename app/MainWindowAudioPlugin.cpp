#include "app/MainWindowAudioPlugin.h"

#include <QRect>

#include "core/DeviceManager.h"
#include "recording/AudioDriverManager.h"

namespace homewindow {

bool checkAudioPluginOffering(QWidget* owner, QWidget* frame)
{
    DeviceManager* devices = DeviceManager::instance();
    if (devices->checkVirtualAudioDriver())
        return true;
    AudioDriverManager manager(owner, 0);
    manager.setModal(true);
    manager.show();
    if (frame) {
        const QRect area = frame->geometry();
        const QPoint centre(area.x() + area.width() / 2, area.y() + area.height() / 2);
        manager.move(centre.x() - manager.width() / 2, centre.y() - manager.height() / 2);
    }
    manager.exec();
    return devices->checkVirtualAudioDriver();
}

} // namespace homewindow
