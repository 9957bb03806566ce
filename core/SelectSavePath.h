#pragma once

#include <QList>
#include <QMutex>
#include <QDateTime>
#include <QObject>
#include <QRect>
#include <QString>

#include <atomic>

// Takes a recording out of the temporary folder into the chosen one, naming
// it and working out its history texts on the way; a rename where the
// volume allows it, a chunked copy where not. It runs on a thread of the
// preview window, which polls the progress and may cancel from the GUI
// thread while a big file is still being copied.
//
// Nothing is overwritten: a name that exists gets the next free "(n)".
// A failed or cancelled copy leaves no partial file behind, and the source
// is never touched by a copy, so the recording survives every failure.
class SelectSavePath : public QObject
{
    Q_OBJECT
public:
    // The decisions of one save, taken from the settings when the save is
    // asked for (on the GUI thread), so that a setting changed meanwhile does
    // not change the name, kind or texts of a save already under way.
    struct Request
    {
        QString source;
        QString folder;         // as asked; empty means defaultFolder
        QString defaultFolder;  // the remembered output folder
        bool onlyCamera = false;
        bool video = false;     // the video source or a window recording
        bool m4v = false;       // M4V chosen as the video format
        QRect gifRect;          // the recorded area, for a GIF's resolution
        QString audioDuration;  // "audio/duration" as the preview wrote it
        QDateTime stamp;        // the moment in the file's name; null: when saved
    };

    SelectSavePath();
    ~SelectSavePath() override;

    // Reads the settings for a save of `source` into `folder`. GUI thread.
    static Request takeRequest(const QString& source, const QString& folder);
    // The name a save of `request` gives a file with `suffix` (before a
    // "(n)" for a name already taken), so that it can be shown beforehand.
    static QString fileNameFor(const Request& request, const QString& suffix);
    // Hands the decisions to the next saveWork(source, folder) with the same
    // arguments. Any thread; call it before the save is handed over.
    void queueRequest(const Request& request);

    // Copies `src` into the new file `dst` (an existing `dst` is refused).
    // False on any failure or on cancel; then `dst` does not exist.
    bool copyFile(const QString& src, const QString& dst);
    // copied / total in 0..1; 0.0 while nothing is being copied.
    double getUpdateProgress() const;
    // Stops a copy under way and every later save of this worker.
    void cancel();

public slots:
    void saveWork(QString src, QString folder);

signals:
    void sigPathFailed(const QString& err);
    void completed(const QString& strFile, int nType, const QString& resolution,
                   const QString& duration, const QString& size);

private:
    struct Naming;
    Request dequeueRequest(const QString& src, const QString& folder);
    static Naming nameFor(const Request& request, const QString& src, const QString& suffix);
    // A writable folder, and room for a copy to another volume; reports the
    // refusal itself.
    bool checkTarget(const QString& src, const QString& targetFolder, const QString& stem, qint64 bytes,
                     bool& sameStorage);
    // Moves or copies `src` to a free name in the folder; reports a failure
    // (not a cancel) itself.
    bool placeFile(const QString& src, const QString& targetFolder, const Naming& naming, bool sameStorage,
                   QString& target);
    // Creates the first free name of folder/stem[(n)].suffix exclusively;
    // the open descriptor, or -1 (path empty) when no file could be made.
    static int createFreeTarget(const QString& folder, const QString& stem, const QString& suffix,
                                QString& path);
    // Copies `src` under a hidden name in `folder`, then gives it the first
    // free name; false (nothing left behind) on failure or cancel.
    bool copyToFreeName(const QString& src, const QString& folder, const Naming& naming, QString& target);
    // Removes hidden copies that a killed save left in `folder`.
    static void removeLeftoverParts(const QString& folder);
    // Copies `src` into the open descriptor `out` (always closed here) and
    // removes `dst` on failure.
    bool copyInto(int out, const QString& src, const QString& dst);
    void fail(const char* logLine, const QString& message);

    std::atomic<qint64> m_nTotal{0};
    std::atomic<qint64> m_nCopied{0};
    std::atomic<bool> m_bCancel{false};

    QMutex m_requestMutex;
    QList<Request> m_lstRequests;
};
