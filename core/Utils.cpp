#include "Utils.h"

#include <QApplication>
#include <QDir>
#include <QPalette>
#include <QStandardPaths>

namespace {
int g_poolToken = 0;
}

void* Utils::createAutoreleasePool()
{
    return &g_poolToken;
}

void Utils::releaseAutoreleasePool(void* /*pool*/)
{
}

void Utils::ensureExists(const QString& dir)
{
    if (!dir.isEmpty() && !QDir(dir).exists())
        QDir().mkpath(dir);
}

QString Utils::appDataLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString Utils::getAppDataLocation()
{
    QString dir = appDataLocation();
    dir.replace('\\', '/');
    ensureExists(dir);
    return dir;
}

QString Utils::getAppLogPath()
{
    return getAppDataLocation() + "/sr.log";
}

bool Utils::applicationIsInDarkMode()
{
    const QPalette palette = QApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}
