#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>

#include <curl/curl.h>

class QFile;

// A blocking HTTP(S) client over one libcurl easy handle: into a file (with
// resume and a ".total" side file that remembers the full size) or into
// memory. Run it off the GUI thread; pause() and cancel() may come from any
// thread while a transfer runs.
class CurWrapper
{
public:
    using ProgressCallback = bool (*)(long long now, long long total, void* user);

    // Outcome of the last transfer.
    enum Result {
        OpenFailed = -1,
        Done = 0,
        Cancelled = 1,
        TransferError = 2,
        BadStatus = 3,
        DiskFull = 4,
        NotRun = 5,
    };

    CurWrapper();
    ~CurWrapper();
    CurWrapper(const CurWrapper&) = delete;
    CurWrapper& operator=(const CurWrapper&) = delete;

    // Without resume the body goes to dest + ".part" and replaces dest only
    // once complete; with resume it is appended to dest itself.
    void download(const QString& url, const QString& dest, bool resume);
    void get(const QString& url);
    void post(const QString& url, const QByteArray& data);
    QByteArray getContents() const { return m_contents; }

    // Returns the previously requested state; takes effect at the next
    // progress call of the running transfer.
    bool pause(bool p);
    void cancel() { m_cancelled = true; }
    int result() const { return m_result; }
    // A false return from the callback cancels the transfer.
    void setDownloadProgressCallback(ProgressCallback callback, void* user);

    // A transfer slower than `bytesPerSecond` for `seconds` is given up.
    void setLowSpeedLimit(long bytesPerSecond, long seconds);
    // Trust this bundle instead of the system's certificate store.
    void setCaBundle(const QString& path) { m_caBundle = path; }

    static size_t cbWrite(char* data, size_t size, size_t count, void* self);
    static int cbProgress(void* self, curl_off_t dlTotal, curl_off_t dlNow, curl_off_t ulTotal,
                          curl_off_t ulNow);

private:
    void begin(const QString& url);
    void run();
    bool openTarget();
    void reportKnownTotal();
    void configure();
    void settle(CURLcode code);
    void restartFromZero();
    void closeFile();
    void finishFile();
    size_t doWrite(const char* data, size_t size, size_t count);
    int doProgress();
    long responseCode() const;
    void writeTotal(curl_off_t contentLength);

    QString m_url;
    QString m_destination;
    QString m_partPath;
    qint64 m_resumeOffset = 0;
    QFile* m_file = nullptr;
    CURL* m_handle = nullptr;
    ProgressCallback m_progress = nullptr;
    void* m_user = nullptr;
    std::atomic_bool m_pauseChanged{false};
    std::atomic_bool m_paused{false};
    std::atomic_bool m_cancelled{false};
    bool m_resume = false;
    QByteArray m_postData;
    QByteArray m_contents;
    int m_result = NotRun;

    bool m_totalWritten = false;
    long m_lowSpeedLimit = 1;
    long m_lowSpeedTime = 20;
    QString m_caBundle;
};
