#pragma once

#include <QMetaType>
#include <QString>

// The recording history is a list of string lists under one settings key,
// newest first.
class HistoryFileUtils
{
public:
    struct HistoryFile
    {
        QString fileName;
        QString path;
        int type = 0; // a HistoryFileType value
        QString resolution;
        QString duration;
        QString size;
    };

    static void addSavefileHistroy(const QString& path, int type, const QString& resolution,
                                   const QString& duration, const QString& size);
    // Drops every entry of the file at `path` from the stored list; the
    // file itself stays.
    static void removeSavefileHistroy(const QString& path);
};

Q_DECLARE_METATYPE(HistoryFileUtils::HistoryFile)
