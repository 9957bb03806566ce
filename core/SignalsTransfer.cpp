#include "SignalsTransfer.h"

#include <QFileInfo>

namespace {
SignalsTransfer* g_pInstance = nullptr;
}

SignalsTransfer::SignalsTransfer()
    : QObject(nullptr)
{
    // The history record crosses threads in queued connections.
    qRegisterMetaType<HistoryFileUtils::HistoryFile>("HistoryFileUtils::HistoryFile");
}

SignalsTransfer* SignalsTransfer::instance()
{
    if (!g_pInstance)
        g_pInstance = new SignalsTransfer();
    return g_pInstance;
}

void SignalsTransfer::release()
{
    delete g_pInstance;
    g_pInstance = nullptr;
}

void SignalsTransfer::addHistoryFile(const QString& path, int type, const QString& resolution,
                                     const QString& duration, const QString& size)
{
    HistoryFileUtils::addSavefileHistroy(path, type, resolution, duration, size);
    HistoryFileUtils::HistoryFile record;
    record.fileName = QFileInfo(path).fileName();
    record.path = path;
    record.type = type;
    record.resolution = resolution;
    record.duration = duration;
    record.size = size;
    emit onAddHistoryFile(record);
}
