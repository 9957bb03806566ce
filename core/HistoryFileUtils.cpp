#include "core/HistoryFileUtils.h"

#include <QFileInfo>
#include <QMutex>
#include <QStringList>
#include <QVariantList>

#include "platform/framework/VxSettings.h"

namespace {
const char* const kHistoryKey = "Path/SavefilesHistroy";
// Saves from the worker thread and from the GUI may add entries at the same
// moment; the read-modify-write of the list must not lose one of them.
QMutex g_historyMutex;
} // namespace

void HistoryFileUtils::addSavefileHistroy(const QString& path, int type, const QString& resolution,
                                          const QString& duration, const QString& size)
{
    const QStringList entry{QFileInfo(path).fileName(), path, QString::number(type),
                            resolution, duration, size};
    QMutexLocker lock(&g_historyMutex);
    QVariantList list = VxSettings::instance()->applicationParam(kHistoryKey, QVariantList()).toList();
    list.prepend(entry);
    VxSettings::instance()->setApplicationParam(kHistoryKey, list);
}

void HistoryFileUtils::removeSavefileHistroy(const QString& path)
{
    QMutexLocker lock(&g_historyMutex);
    QVariantList list = VxSettings::instance()->applicationParam(kHistoryKey, QVariantList()).toList();
    const int before = list.size();
    for (int i = list.size() - 1; i >= 0; --i)
        if (list.at(i).toStringList().value(1) == path)
            list.removeAt(i);
    if (list.size() != before)
        VxSettings::instance()->setApplicationParam(kHistoryKey, list);
}
