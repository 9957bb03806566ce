#include "core/SelectSavePath.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTime>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/CEIPWrapper.h"
#include "platform/log/Log.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxSettings.h"

namespace {

const char* const kModule = "SelectSavePath";
const qint64 kChunk = 4096;
// Room kept free beyond the file itself.
const qint64 kSpareBytes = 5120;
// More same-named files than this in one folder means something is wrong.
const int kMaxNameTries = 10000;
// Ends the hidden name a copy is written under until it is complete.
const char* const kPartSuffix = "part";

QByteArray local(const QString& path)
{
    return QFile::encodeName(path);
}

QString sizeOf(const QRect& rect)
{
    return QStringLiteral("%1*%2").arg(rect.width()).arg(rect.height());
}

// Writes all of `data`; false on any error (a short write is retried, not
// counted as done).
bool writeAll(int fd, const char* data, qint64 size, std::atomic<qint64>& copied)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size_t(size - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (n == 0)
            return false;
        done += n;
        copied.fetch_add(n, std::memory_order_relaxed);
    }
    return true;
}

QString noRoomMessage()
{
    return QObject::tr("No enough free space to save the video. You can choose another path, or clear the disk space.");
}

} // namespace

SelectSavePath::SelectSavePath() = default;

SelectSavePath::~SelectSavePath() = default;

SelectSavePath::Request SelectSavePath::takeRequest(const QString& source, const QString& folder)
{
    RecordParameter* params = RecordParameter::instance();
    Request request;
    request.source = source;
    request.folder = folder;
    request.defaultFolder = folder.isEmpty() ? Utils::getVideoOutputPath() : QString();
    request.onlyCamera = params->isOnlyRecordCamera();
    request.video = params->getVideoEnable() || params->isWindowRecord();
    request.m4v = params->usedVideoFmt() == RP_Format_M4V;
    request.gifRect = params->getVideoRect();
    request.audioDuration =
        VxSettings::instance()->applicationParam(QStringLiteral("audio/duration"), QString()).toString();
    return request;
}

void SelectSavePath::queueRequest(const Request& request)
{
    QMutexLocker lock(&m_requestMutex);
    m_lstRequests.append(request);
}

SelectSavePath::Request SelectSavePath::dequeueRequest(const QString& src, const QString& folder)
{
    {
        QMutexLocker lock(&m_requestMutex);
        for (int i = 0; i < m_lstRequests.size(); ++i) {
            if (m_lstRequests.at(i).source == src && m_lstRequests.at(i).folder == folder)
                return m_lstRequests.takeAt(i);
        }
    }
    // A caller that queued nothing gets the settings as they are now; the
    // settings model is safe to read from here, only not frozen in time.
    Log(kModule, LogLevel::Info, "no queued request, settings read at save time");
    return takeRequest(src, folder);
}

void SelectSavePath::fail(const char* logLine, const QString& message)
{
    Log(kModule, LogLevel::Info, "%s", logLine);
    emit sigPathFailed(message);
}

// What the saved file is called and how the history shows it.
struct SelectSavePath::Naming
{
    QString stem;
    QString suffix;
    QString resolution;
    int type = HistoryFile_Video;
};

namespace {

QString stemFor(const SelectSavePath::Request& request)
{
    const QDateTime when = request.stamp.isValid() ? request.stamp : QDateTime::currentDateTime();
    const QString stamp = when.toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
    if (request.onlyCamera)
        return QStringLiteral("Camera_%1").arg(stamp);
    return (request.video ? QStringLiteral("Video_%1") : QStringLiteral("Audio_%1")).arg(stamp);
}

QString suffixFor(const SelectSavePath::Request& request, const QString& suffix)
{
    return !request.onlyCamera && request.video && request.m4v ? QStringLiteral("m4v") : suffix;
}

} // namespace

QString SelectSavePath::fileNameFor(const Request& request, const QString& suffix)
{
    const QString ending = suffixFor(request, suffix);
    return ending.isEmpty() ? stemFor(request) : stemFor(request) + QLatin1Char('.') + ending;
}

SelectSavePath::Naming SelectSavePath::nameFor(const Request& request, const QString& src,
                                               const QString& suffix)
{
    Naming naming;
    naming.stem = stemFor(request);
    naming.suffix = suffixFor(request, suffix);
    if (request.onlyCamera) {
        // The movie's own size; the camera's usual 1280*720 only when the
        // file cannot tell (a camera may well record 640*480).
        const QRect picture = Utils::getVideoRect(src);
        naming.resolution = picture.isEmpty() ? QStringLiteral("%1*%2").arg(1280).arg(720) : sizeOf(picture);
    } else if (request.video) {
        naming.resolution = sizeOf(Utils::getVideoRect(src));
    } else {
        naming.type = HistoryFile_Audio;
    }
    if (suffix == QLatin1String("gif")) {
        naming.resolution = sizeOf(request.gifRect);
        Log(kModule, LogLevel::Info, "save gif size= %s", naming.resolution.toUtf8().constData());
    }
    return naming;
}

bool SelectSavePath::checkTarget(const QString& src, const QString& targetFolder, const QString& stem,
                                 qint64 bytes, bool& sameStorage)
{
    const int why = VxFileUtils::folderPathWriteError(targetFolder);
    if (why == ENOSPC || why == EDQUOT) {
        fail("disk is full", noRoomMessage());
        return false;
    }
    if (why == ENAMETOOLONG) {
        fail("path name too long",
             QObject::tr("The name \"%1\" is too long for the file system, please select another one.")
                 .arg(targetFolder));
        return false;
    }
    if (why != 0) {
        fail("path is not writable",
             QObject::tr("\"%1\" is not writable, please select another one.").arg(targetFolder));
        return false;
    }
    sameStorage = Utils::isSameStorage(src, targetFolder);
    if (sameStorage)
        return true;
    // A move on one volume needs no room; a copy needs the whole file. A
    // volume that cannot be asked is tried all the same: the copy checks
    // every write.
    bool ok = false;
    const qint64 free = Utils::freeDiskSize(targetFolder + "/" + stem, ok);
    if (ok && free < bytes + kSpareBytes) {
        fail("disk size smaller than file size ", noRoomMessage());
        return false;
    }
    return true;
}

bool SelectSavePath::placeFile(const QString& src, const QString& targetFolder, const Naming& naming,
                               bool sameStorage, QString& target)
{
    const QString exportFailed =
        QObject::tr("File exported failed! You can choose another path, or clear the disk space.");
    if (!sameStorage) {
        if (copyToFreeName(src, targetFolder, naming, target))
            return true;
        if (!m_bCancel.load(std::memory_order_relaxed))
            fail("copy file Failed!", exportFailed);
        return false;
    }
    const int fd = createFreeTarget(targetFolder, naming.stem, naming.suffix, target);
    if (fd < 0) {
        fail("cannot create the target file", exportFailed);
        return false;
    }
    // The empty file holds the name; the move replaces it atomically.
    ::close(fd);
    if (OSServiceUtils::moveFile(src, target))
        return true;
    // A failed rename leaves the placeholder as it was.
    QFile::remove(target);
    if (!m_bCancel.load(std::memory_order_relaxed))
        fail("Move file Failed!", exportFailed);
    return false;
}

bool SelectSavePath::copyToFreeName(const QString& src, const QString& folder, const Naming& naming,
                                    QString& target)
{
    // The copy goes to a hidden name and takes the final one only when
    // complete: a kill half-way must not leave a short movie that looks saved.
    removeLeftoverParts(folder);
    QString part;
    const QString partSuffix = naming.suffix.isEmpty() ? QString::fromLatin1(kPartSuffix)
                                                       : naming.suffix + QLatin1Char('.') + kPartSuffix;
    const int fd = createFreeTarget(folder, QLatin1Char('.') + naming.stem, partSuffix, part);
    if (fd < 0)
        return false;
    // Held until the copy is closed, so that no clean-up takes it for the
    // remains of a killed one.
    ::flock(fd, LOCK_EX | LOCK_NB);
    if (!copyInto(fd, src, part))
        return false;
    const int placeholder = createFreeTarget(folder, naming.stem, naming.suffix, target);
    if (placeholder >= 0) {
        ::close(placeholder);
        // Over the empty placeholder, in one step: the name shows the whole
        // file or nothing.
        if (::rename(local(part).constData(), local(target).constData()) == 0)
            return true;
        Log(kModule, LogLevel::Info, "cannot rename the copy: %d", errno);
        QFile::remove(target);
    }
    QFile::remove(part);
    return false;
}

void SelectSavePath::removeLeftoverParts(const QString& folder)
{
    static const QRegularExpression partName(QStringLiteral("^\\.(Video|Audio|Camera)_.*\\.%1$").arg(kPartSuffix));
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        if (!partName.match(name).hasMatch())
            continue;
        const QString path = folder + QLatin1Char('/') + name;
        // Only a regular file of ours that no copy holds any more.
        const int fd = ::open(local(path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid()
            && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            Log(kModule, LogLevel::Info, "removing the remains of an interrupted copy: %s", name.toUtf8().constData());
            QFile::remove(path);
        }
        ::close(fd);
    }
}

void SelectSavePath::saveWork(QString src, QString folder)
{
    const Request request = dequeueRequest(src, folder);
    m_nTotal.store(0, std::memory_order_relaxed);
    m_nCopied.store(0, std::memory_order_relaxed);
    const QFileInfo source(src);
    if (src.isEmpty() || !source.exists()) {
        // Silence here would leave the preview waiting for an answer forever.
        Log(kModule, LogLevel::Info, "source file does not exist: %s", src.toUtf8().constData());
        emit sigPathFailed(QObject::tr("The recorded file \"%1\" was not found.").arg(src));
        return;
    }
    if (folder.isEmpty())
        folder = request.defaultFolder.isEmpty() ? Utils::getVideoOutputPath() : request.defaultFolder;

    const Naming naming = nameFor(request, src, source.suffix());
    const qint64 bytes = source.size();
    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(bytes, value);
    const QString size = QString::asprintf("%.2f", value) + unit;
    const QTime duration = QTime(0, 0, 0, 0).addSecs(int(Utils::getMediaDuration(src)));

    if (m_bCancel.load(std::memory_order_relaxed))
        return;

    const QString targetFolder = QDir::cleanPath(folder);
    bool sameStorage = false;
    QString target;
    if (!checkTarget(src, targetFolder, naming.stem, bytes, sameStorage)
        || !placeFile(src, targetFolder, naming, sameStorage, target))
        return;

    Utils::setVideoOutputPath(targetFolder);
    const QString durationText = naming.type == HistoryFile_Audio ? request.audioDuration
                                                                  : duration.toString(QStringLiteral("hh:mm:ss"));
    CEIPWrapper::instance()->MakeEvent_kModular_Save_Result(1);
    emit completed(target, naming.type, naming.resolution, durationText, size);
}

int SelectSavePath::createFreeTarget(const QString& folder, const QString& stem, const QString& suffix,
                                     QString& path)
{
    const QString dot = suffix.isEmpty() ? QString() : QStringLiteral(".") + suffix;
    for (int n = 0; n < kMaxNameTries; ++n) {
        const QString candidate = n == 0 ? QStringLiteral("%1/%2%3").arg(folder, stem, dot)
                                         : QStringLiteral("%1/%2(%3)%4").arg(folder, stem).arg(n).arg(dot);
        // O_EXCL also refuses a dangling symbolic link, so nothing outside
        // the folder is written through one.
        const int fd = ::open(local(candidate).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            path = candidate;
            return fd;
        }
        if (errno != EEXIST) {
            Log(kModule, LogLevel::Info, "cannot create %s: %d", candidate.toUtf8().constData(), errno);
            break;
        }
    }
    path.clear();
    return -1;
}

bool SelectSavePath::copyFile(const QString& src, const QString& dst)
{
    const int out = ::open(local(dst).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0) {
        Log(kModule, LogLevel::Info, "copy file: cannot create the target (%d)", errno);
        return false;
    }
    return copyInto(out, src, dst);
}

bool SelectSavePath::copyInto(int out, const QString& src, const QString& dst)
{
    Log(kModule, LogLevel::Info, "copy file");
    m_nTotal.store(0, std::memory_order_relaxed);
    m_nCopied.store(0, std::memory_order_relaxed);

    const auto abandon = [&](int in) {
        if (in >= 0)
            ::close(in);
        ::close(out);
        QFile::remove(dst);
        return false;
    };

    const int in = ::open(local(src).constData(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return abandon(-1);
    struct stat st;
    if (::fstat(in, &st) != 0)
        return abandon(in);
    const qint64 total = st.st_size;
    m_nTotal.store(total, std::memory_order_relaxed);
    Log(kModule, LogLevel::Info, "fileSize %ld", long(total));

    char buffer[kChunk];
    bool ok = true;
    qint64 read = 0;
    for (;;) {
        if (m_bCancel.load(std::memory_order_relaxed)) {
            Log(kModule, LogLevel::Info, "copy cancelled");
            return abandon(in);
        }
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ok = false;
            break;
        }
        if (n == 0)
            break;
        read += n;
        if (!writeAll(out, buffer, n, m_nCopied)) {
            ok = false;
            break;
        }
    }
    ::close(in);
    // The source is deleted once the save is reported: the data must be on
    // the disk first, and a failing flush or close is a failed copy.
    if (ok && ::fsync(out) != 0 && errno != EINVAL && errno != EROFS)
        ok = false;
    if (::close(out) != 0)
        ok = false;
    if (ok && read == total && m_nCopied.load(std::memory_order_relaxed) == total) {
        Log(kModule, LogLevel::Info, "copyFile succcess");
        return true;
    }
    Log(kModule, LogLevel::Info, "copyFile false");
    QFile::remove(dst);
    return false;
}

double SelectSavePath::getUpdateProgress() const
{
    const qint64 total = m_nTotal.load(std::memory_order_relaxed);
    if (total <= 0)
        return 0.0;
    const double progress = double(m_nCopied.load(std::memory_order_relaxed)) / double(total);
    return progress > 1.0 ? 1.0 : progress;
}

void SelectSavePath::cancel()
{
    m_bCancel.store(true, std::memory_order_relaxed);
}
