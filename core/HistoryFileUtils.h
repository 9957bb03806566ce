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
};

Q_DECLARE_METATYPE(HistoryFileUtils::HistoryFile)
