#include "core/CurWrapper.h"

#include <QFile>

#include <cstdio>
#include <mutex>

#include "core/Utils.h"
#include "platform/log/Log.h"

#define U8(s) ((s).toUtf8().constData())

namespace {

// Below this much free space a failed write is taken for a full disk.
constexpr qint64 kDiskReserve = 0x500000;

void initLibraryOnce()
{
    // curl_easy_init would do this itself, but not safely when two threads
    // start their first transfer at once.
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

} // namespace

CurWrapper::CurWrapper() = default;

CurWrapper::~CurWrapper()
{
    closeFile();
    if (m_handle)
        curl_easy_cleanup(m_handle);
}

void CurWrapper::download(const QString& url, const QString& dest, bool resume)
{
    begin(url);
    m_destination = dest;
    m_partPath = dest + ".part";
    m_resume = resume;
    run();
}

void CurWrapper::get(const QString& url)
{
    begin(url);
    run();
}

void CurWrapper::post(const QString& url, const QByteArray& data)
{
    begin(url);
    m_postData = data;
    run();
}

void CurWrapper::begin(const QString& url)
{
    // A reused object must not send the last call's body or write into the
    // last call's file.
    m_url = url;
    m_destination.clear();
    m_partPath.clear();
    m_resume = false;
    m_postData.clear();
}

bool CurWrapper::pause(bool p)
{
    const bool old = m_paused.exchange(p);
    if (old != p)
        m_pauseChanged = true;
    return old;
}

void CurWrapper::setDownloadProgressCallback(ProgressCallback callback, void* user)
{
    m_progress = callback;
    m_user = user;
}

void CurWrapper::setLowSpeedLimit(long bytesPerSecond, long seconds)
{
    m_lowSpeedLimit = bytesPerSecond;
    m_lowSpeedTime = seconds;
}

size_t CurWrapper::cbWrite(char* data, size_t size, size_t count, void* self)
{
    return static_cast<CurWrapper*>(self)->doWrite(data, size, count);
}

int CurWrapper::cbProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<CurWrapper*>(self)->doProgress();
}

void CurWrapper::run()
{
    m_result = NotRun;
    m_resumeOffset = 0;
    m_totalWritten = false;
    m_contents.clear();
    if (!m_destination.isEmpty() && !openTarget())
        return;
    reportKnownTotal();

    initLibraryOnce();
    m_handle = curl_easy_init();
    if (!m_handle) {
        m_result = TransferError;
    } else {
        configure();
        settle(curl_easy_perform(m_handle));
        curl_easy_cleanup(m_handle);
        m_handle = nullptr;
    }
    closeFile();
    finishFile();
}

bool CurWrapper::openTarget()
{
    m_file = new QFile(m_resume ? m_destination : m_partPath);
    // Unbuffered, so that a full disk shows at the write that hit it and not
    // at a close whose error nobody reads.
    QIODevice::OpenMode mode = QIODevice::WriteOnly | QIODevice::Unbuffered;
    if (m_resume && m_file->exists()) {
        m_resumeOffset = m_file->size();
        mode |= QIODevice::Append;
    } else {
        mode |= QIODevice::Truncate;
    }
    if (m_file->open(mode))
        return true;
    m_result = OpenFailed;
    Log("CURL", LogLevel::Error, "open file failed %s", U8(m_file->fileName()));
    delete m_file;
    m_file = nullptr;
    return false;
}

void CurWrapper::reportKnownTotal()
{
    if (!m_progress || m_destination.isEmpty())
        return;
    QFile total(m_destination + ".total");
    if (!total.open(QIODevice::ReadOnly))
        return;
    bool ok = false;
    const qint64 size = QString::fromLatin1(total.readAll()).trimmed().toLongLong(&ok);
    if (ok && !m_progress(m_resumeOffset, size, m_user))
        m_cancelled = true;
}

void CurWrapper::configure()
{
    CURL* h = m_handle;
    curl_easy_setopt(h, CURLOPT_URL, m_url.toUtf8().constData());
    if (m_resumeOffset > 0)
        curl_easy_setopt(h, CURLOPT_RESUME_FROM_LARGE, curl_off_t(m_resumeOffset));
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &CurWrapper::cbWrite);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, this);
    // The progress call is also what lets pause and cancel reach a transfer
    // that receives nothing.
    curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &CurWrapper::cbProgress);
    curl_easy_setopt(h, CURLOPT_XFERINFODATA, this);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, m_lowSpeedLimit);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, m_lowSpeedTime);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    // A redirect must not lead to a local file or another protocol.
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    // What is downloaded gets run or installed: the peer must prove who it is.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    if (!m_caBundle.isEmpty())
        curl_easy_setopt(h, CURLOPT_CAINFO, QFile::encodeName(m_caBundle).constData());
    curl_easy_setopt(h, CURLOPT_IPRESOLVE, long(CURL_IPRESOLVE_V4));
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    if (!m_postData.isEmpty()) {
        curl_easy_setopt(h, CURLOPT_POST, 1L);
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, curl_off_t(m_postData.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, m_postData.constData());
    }
}

long CurWrapper::responseCode() const
{
    long status = 0;
    if (!m_handle || curl_easy_getinfo(m_handle, CURLINFO_RESPONSE_CODE, &status) != CURLE_OK)
        return 0;
    return status;
}

void CurWrapper::settle(CURLcode code)
{
    const long status = responseCode();
    if (m_cancelled) {
        m_result = Cancelled;
    } else if (m_result == DiskFull) {
        Log("CURL", LogLevel::Error, "disk space not enough");
    } else if (status == 416) {
        // libcurl may turn a 416 with a body into an error of its own; either
        // way the part on disk is useless.
        Log("CURL", LogLevel::Info, "http code %d", int(status));
        m_result = BadStatus;
        restartFromZero();
    } else if (code == CURLE_OK && status != 0) {
        Log("CURL", LogLevel::Info, "http code %d", int(status));
        m_result = (status == 200 || status == 206) ? Done : BadStatus;
        if (m_result == Done && !m_destination.isEmpty())
            QFile::remove(m_destination + ".total");
    } else {
        Log("CURL", LogLevel::Error, "curl error %d", int(code));
        m_result = TransferError;
        // A server that ignores ranges would never finish a resumed file.
        if (code == CURLE_RANGE_ERROR && status == 200)
            restartFromZero();
    }
}

void CurWrapper::restartFromZero()
{
    if (m_file)
        m_file->resize(0);
    if (!m_destination.isEmpty())
        QFile::remove(m_destination + ".total");
}

void CurWrapper::closeFile()
{
    if (!m_file)
        return;
    m_file->close();
    delete m_file;
    m_file = nullptr;
}

void CurWrapper::finishFile()
{
    if (m_resume || m_destination.isEmpty())
        return;
    if (m_result != Done) {
        QFile::remove(m_partPath);
        return;
    }
    // One rename replaces the old file: there is never a moment without it.
    if (std::rename(QFile::encodeName(m_partPath).constData(), QFile::encodeName(m_destination).constData())
        != 0) {
        Log("CURL", LogLevel::Error, "rename file failed %s", U8(m_destination));
        QFile::remove(m_partPath);
        m_result = TransferError;
    }
}

void CurWrapper::writeTotal(curl_off_t contentLength)
{
    if (!m_resume || m_totalWritten || contentLength <= 0)
        return;
    m_totalWritten = true;
    QFile total(m_destination + ".total");
    if (total.exists() || !total.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    total.write(QByteArray::number(m_resumeOffset + qint64(contentLength)));
}

size_t CurWrapper::doWrite(const char* data, size_t size, size_t count)
{
    const size_t bytes = size * count;
    curl_off_t length = -1;
    curl_easy_getinfo(m_handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    if (m_progress) {
        curl_off_t now = 0;
        curl_easy_getinfo(m_handle, CURLINFO_SIZE_DOWNLOAD_T, &now);
        if (!m_progress(m_resumeOffset + now, m_resumeOffset + length, m_user))
            m_cancelled = true;
    }
    if (m_cancelled)
        return 0;
    if (!m_file) {
        m_contents.append(data, int(bytes));
        return count;
    }
    // An error page must not end up inside the file that is being continued.
    const long status = responseCode();
    if (status != 200 && status != 206)
        return count;
    const qint64 written = m_file->write(data, qint64(bytes));
    if (written != qint64(bytes)) {
        Log("CURL", LogLevel::Error, "write content to file faild");
        bool ok = false;
        if (Utils::freeDiskSize(m_file->fileName(), ok) < kDiskReserve)
            m_result = DiskFull;
        return written > 0 ? size_t(written) / size : 0;
    }
    writeTotal(length);
    return count;
}

int CurWrapper::doProgress()
{
    if (m_pauseChanged.exchange(false))
        curl_easy_pause(m_handle, m_paused ? CURLPAUSE_ALL : CURLPAUSE_CONT);
    return m_cancelled ? 1 : 0;
}
