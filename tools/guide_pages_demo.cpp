// Photographs every page of DlgSetPermissions and of AudioDriverManager
// for scripts/screenshots.sh; the engine double stands in for a missing
// camera, refused access or an absent sound server. Not a test.
//
//   guide_pages_demo guide <out.png> <kind 0..3> <refusal 0..3> [showGuide 0|1] [language] [settings]
//       the guide for a kind whose permission is refused for that reason
//       (Permission_Refusal); "settings" puts a stand-in sound settings
//       program on PATH so that the guide offers its link
//   guide_pages_demo plugin <out.png> <mode 0|1> <working 0|1>
//       the audio plug-in dialog in a mode, the system-sound source working
//       or not
#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

#include "core/DeviceManager.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "recording/AudioDriverManager.h"
#include "recording/DlgSetPermissions.h"
#include "tests/support/FakeScreencast.h"

namespace {

int usage()
{
    std::fprintf(stderr, "usage: guide_pages_demo guide <out.png> <kind> <refusal> [showGuide] [language] [settings]\n"
                         "       guide_pages_demo plugin <out.png> <mode> <working>\n");
    return 2;
}

int grabShown(QWidget& window, const QString& path)
{
    window.show();
    if (!QTest::qWaitForWindowExposed(&window))
        return 1;
    QTest::qWait(200);
    if (!window.grab().save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    return 0;
}

int guide(const QStringList& args)
{
    const int kind = args.value(1).toInt();
    const int refusal = args.value(2).toInt();
    const bool showGuide = args.value(3, "0") != "0";
    const QString language = args.value(4);
    if (!language.isEmpty())
        VxSettings::instance()->setCurrentLanguage(language);
    QTemporaryDir bin;
    if (args.value(5) == "settings") {
        const QString program = bin.filePath("pavucontrol");
        QFile file(program);
        if (!file.open(QIODevice::WriteOnly) || file.write("#!/bin/sh\n") < 0)
            return 1;
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::ExeOwner);
        qputenv("PATH", bin.path().toLocal8Bit());
    }
    FakeScreencast::setPermission(kind, showGuide ? Permission_NotDetermined : Permission_Denied, refusal);
    DlgSetPermissions dialog(nullptr);
    dialog.setshowGuide(static_cast<Privacy_Setting>(kind), showGuide);
    return grabShown(dialog, args.value(0));
}

int plugin(const QStringList& args)
{
    const int mode = args.value(1).toInt();
    const bool working = args.value(2) != "0";
    FakeScreencast::setVirtualAudioDriver(working ? 0 : 1, Utils::getAudioDriverName());
    AudioDriverManager dialog(nullptr, mode);
    return grabShown(dialog, args.value(0));
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() < 4)
        return usage();
    const QString mode = args.takeFirst();
    int result = 2;
    if (mode == "guide")
        result = guide(args);
    else if (mode == "plugin")
        result = plugin(args);
    else
        return usage();
    DeviceManager::release();
    return result;
}
