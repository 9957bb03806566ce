#pragma once

#include <QList>
#include <QObject>
#include <QUrl>

// Takes the place of the desktop's URL handlers in tests
// (QDesktopServices::setUrlHandler(scheme, &recorder, "open")) and keeps
// every URL it is asked to open.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};
