#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Stands in for the desktop's URL handlers (QDesktopServices::setUrlHandler) and keeps
// every URL it is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};
