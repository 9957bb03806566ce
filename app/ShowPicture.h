#pragma once

#include <QObject>
#include <QString>

#include "Screencast.h"

class QTimer;

// The countdown a recording waits for once it is asked for: the numbered
// pictures 1.png, 2.png ... of the installed countdown folder
// are shown one per tick through the engine's picture overlay, then
// showPicEnd() tells the home window to start. Without the folder it ends
// at once. GUI thread only; one object per recording start.
class ShowPicture : public QObject
{
    Q_OBJECT
public:
    explicit ShowPicture(QObject* parent = nullptr);
    ~ShowPicture() override;

    void start();

    // Entries of the countdown folder as QDir counts them (with "." and
    // ".."), 0 without the folder; the ticks share the countdown's length.
    int pictureCount() const { return m_nCount; }
    int tickPeriod() const;
    QString folder() const { return m_strFolder; }

    // Tests point the countdown at a folder of their own (empty: the
    // installed one) and shorten its 3000 ms of ticks and 500 ms of end
    // delay; they apply to countdowns constructed afterwards.
    static void setFolderOverride(const QString& folder);
    static void setDurations(int ticksMs, int endDelayMs);

public slots:
    void onShowPicture();

signals:
    void showPicEnd();

private:
    QTimer* m_pTimer = nullptr;
    int m_nCount = 0;
    int m_nCurrent = 0;
    QString m_strFolder;
    int m_nTicksMs = 3000;
    int m_nEndDelayMs = 500;
    CBasePtr<CPictureObject> m_picture;
};
