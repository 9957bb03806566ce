#include "core/DesktopHider.h"

#include <QFile>
#include <QSaveFile>
#include <QVector>

#include "Screencast.h"
#include "core/Utils.h"
#include "platform/log/Log.h"


namespace {
constexpr const char* kLogTag = "OSServiceUtils";
}

QString DesktopHider::notePath()
{
    return Utils::getAppDataLocation() + "/HiddenWindows";
}

QList<DesktopHider::Entry> DesktopHider::readNote()
{
    QList<Entry> entries;
    QFile file(notePath());
    if (!file.open(QIODevice::ReadOnly))
        return entries;
    while (!file.atEnd()) {
        const QList<QByteArray> fields = file.readLine().simplified().split(' ');
        bool kindOk = false, idOk = false;
        const int kind = fields.value(0).toInt(&kindOk);
        const unsigned int id = fields.value(1).toUInt(&idOk);
        if (fields.size() == 2 && kindOk && idOk && id != 0)
            entries << Entry(kind, id);
    }
    return entries;
}

bool DesktopHider::writeNote(const QList<Entry>& entries)
{
    if (entries.isEmpty())
        return !QFile::exists(notePath()) || QFile::remove(notePath());
    QSaveFile file(notePath());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    for (const Entry& e : entries)
        file.write(QByteArray::number(e.first) + ' ' + QByteArray::number(e.second) + '\n');
    return file.commit();
}

void DesktopHider::hide(int kind, const QList<int>& keep)
{
    CBasePtr<CWindowListObject> list = scFindDesktopWindows(kind);
    if (!list || list->count() == 0)
        return;
    // The list is top first; the note and the engine want bottom first.
    QVector<unsigned int> ids;
    for (int i = list->count() - 1; i >= 0; --i) {
        const unsigned int id = list->item(i).id;
        if (!keep.contains(int(id)))
            ids << id;
    }
    if (ids.isEmpty())
        return;

    QList<Entry> entries = readNote();
    for (unsigned int id : ids) {
        if (!entries.contains(Entry(kind, id)))
            entries << Entry(kind, id);
    }
    // A window hidden without a note could stay hidden for good after a
    // crash: better not to hide it at all.
    if (!writeNote(entries)) {
        Log(kLogTag, LogLevel::Error, "cannot write %s: windows of kind %d stay on the screen", qUtf8Printable(notePath()), kind);
        return;
    }
    scHideDesktopWindows(kind, ids.constData(), ids.size());
}

void DesktopHider::show(int kind)
{
    QVector<unsigned int> ids;
    QList<Entry> rest;
    for (const Entry& e : readNote()) {
        if (e.first == kind)
            ids << e.second;
        else
            rest << e;
    }
    if (ids.isEmpty())
        return;
    const int shown = scShowDesktopWindows(kind, ids.constData(), ids.size());
    Log(kLogTag, LogLevel::Info, "windows of kind %d back on the screen: %d of %d", kind, shown, ids.size());
    if (!writeNote(rest))
        Log(kLogTag, LogLevel::Error, "cannot update %s", qUtf8Printable(notePath()));
}

void DesktopHider::showLeftovers()
{
    QList<int> kinds;
    for (const Entry& e : readNote()) {
        if (!kinds.contains(e.first))
            kinds << e.first;
    }
    for (int kind : kinds)
        show(kind);
}
