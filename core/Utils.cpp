#include "core/Utils.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPalette>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QWidget>
#include <QWindow>

#include <sys/stat.h>

#include <cstdio>

#include "core/CurWrapper.h"
#include "platform/log/Log.h"
#include "Screencast.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

#define U8(s) ((s).toUtf8().constData())

namespace {

int g_poolToken = 0;

const char* const kVideoFolderKey = "Path/VideoFolder";
const char* const kScreenshotsFolderKey = "Path/ScreenshotsFolder";

QVariant param(const char* key, const QVariant& def)
{
    return VxSettings::instance()->applicationParam(QString::fromLatin1(key), def);
}

void setParam(const char* key, const QVariant& value)
{
    VxSettings::instance()->setApplicationParam(QString::fromLatin1(key), value);
}

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation) + "/"
           + VxProductInfo::instance()->companyFullName();
}

// The stored folder when there is one (created again if it was deleted),
// else the default.
QString storedFolder(const char* key, const QString& def)
{
    Utils::ensureExists(def);
    const QString value = param(key, def).toString();
    Log("Utils", LogLevel::Info, "get %s: %s", key, U8(value));
    if (value.isEmpty())
        return def;
    Utils::ensureExists(value);
    return value;
}

bool isGifName(const QString& path)
{
    // Case-sensitive on purpose: only ".gif" goes to the GIF reader.
    return QFileInfo(path).suffix() == QLatin1String("gif");
}

OutputVideoFileType containerOf(int fmt)
{
    switch (fmt) {
    case RP_Format_MOV: return kOutputMov;
    case RP_Format_M4V: return kOutputM4v;
    case RP_Format_GIF: return kOutputGif;
    default: return kOutputMp4;
    }
}

const int* videoCodecsOf(int fmt)
{
    const AVFormatCodecs* codecs = GetAVFormatCodecs(containerOf(fmt));
    return codecs ? codecs->videoCodecs : nullptr;
}

// The device of the nearest existing folder on the way up from `path`.
bool deviceOf(const QString& path, dev_t& dev)
{
    QString p = QFileInfo(path).absoluteFilePath();
    struct stat st;
    while (!p.isEmpty()) {
        if (::stat(QFile::encodeName(p).constData(), &st) == 0) {
            dev = st.st_dev;
            return true;
        }
        const QString up = QFileInfo(p).path();
        if (up == p)
            break;
        p = up;
    }
    return false;
}

} // namespace

void* Utils::createAutoreleasePool()
{
    return &g_poolToken;
}

void Utils::releaseAutoreleasePool(void* /*pool*/)
{
}

void Utils::autoreleasePoolPrint(const char* where)
{
    std::printf("autorelease pool dump at %s\n", where ? where : "");
    std::fflush(stdout);
}

void Utils::ensureExists(const QString& dir)
{
    if (!dir.isEmpty() && !QDir(dir).exists())
        QDir().mkpath(dir);
}

QString Utils::appDataLocation()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation);
}

QString Utils::getAppDataLocation()
{
    QString dir = appDataLocation();
    dir.replace('\\', '/');
    ensureExists(dir);
    return dir;
}

QString Utils::selectRecorderTmpRoot()
{
    return getAppDataLocation();
}

QString Utils::getAppLogPath()
{
    return getAppDataLocation() + "/sr.log";
}

QString Utils::getRecorderTmpRoot()
{
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                        + "/Screen Recorder";
    ensureExists(dir);
    return dir;
}

QString Utils::getOriginalRecorderTmpPath()
{
    return getRecorderTmpRoot();
}

QString Utils::getOriginalVideoOutputPath()
{
    const QString dir = documentsFolder();
    ensureExists(dir);
    return dir;
}

QString Utils::getOriginalSnapshotPath()
{
    const QString dir = documentsFolder() + "/Snapshot";
    ensureExists(dir);
    return dir;
}

QString Utils::getVideoOutputPath()
{
    return storedFolder(kVideoFolderKey, documentsFolder());
}

QString Utils::getSnapshotPath()
{
    return storedFolder(kScreenshotsFolderKey, documentsFolder() + "/Snapshot");
}

void Utils::setVideoOutputPath(const QString& dir)
{
    Log("Utils", LogLevel::Info, "set Path/VideoFolder: %s", U8(dir));
    setParam(kVideoFolderKey, dir);
}

void Utils::setSnapshotPath(const QString& dir)
{
    Log("Utils", LogLevel::Info, "set Path/ScreenshotsFolder: %s", U8(dir));
    setParam(kScreenshotsFolderKey, dir);
}

void Utils::removeTempRoot()
{
    QDir(getRecorderTmpRoot()).removeRecursively();
}

void Utils::setFileSuffix(const QString& suffix)
{
    setParam("FileSuffix", suffix);
}

QString Utils::getFileSuffix()
{
    return param("FileSuffix", QString()).toString();
}

void Utils::setTempFilePath(const QString& path)
{
    setParam("TempPath", path);
}

qint64 Utils::freeDiskSize(const QString& path, bool& ok)
{
    const QString folder = QFileInfo(path).path();
    ensureExists(folder);
    ok = false;
    const int64_t free = GetFileSystemFreeSize(U8(folder));
    if (free < 0)
        return 0;
    ok = true;
    return free;
}

QString Utils::getUtilOfSize(qint64 bytes, double& value)
{
    if (bytes <= 1048576LL) {
        value = bytes / 1024.0;
        return QStringLiteral("KB");
    }
    if (bytes <= 1073741824LL) {
        value = bytes / 1048576.0;
        return QStringLiteral("MB");
    }
    value = bytes / 1073741824.0;
    return QStringLiteral("GB");
}

QString Utils::toDoubleNumber(int n)
{
    const QString text = QString::number(n);
    return text.size() == 1 ? "0" + text : text;
}

qint64 Utils::getFileSize(const QString& path)
{
    return GetFileSize(U8(path));
}

double Utils::getMediaDuration(const QString& path)
{
    if (isGifName(path))
        return GetGIFFileInfo(U8(path)).duration;
    return GetMediaFileInfo(U8(path)).duration;
}

double Utils::getAudioDuration()
{
    return GetAudioRecordDuration();
}

QRect Utils::getVideoRect(const QString& path)
{
    if (isGifName(path)) {
        const GIFFileInfo info = GetGIFFileInfo(U8(path));
        return info.duration != 0.0 ? QRect(0, 0, info.width, info.height) : QRect();
    }
    const MediaFileInfo info = GetMediaFileInfo(U8(path));
    return info.hasVideo ? QRect(0, 0, info.width, info.height) : QRect();
}

bool Utils::RestorreAudioTempFiles()
{
    return RestoreAudioRecordTempFiles() != 0;
}

bool Utils::suportVidoeType(int fmt)
{
    const int* ids = videoCodecsOf(fmt);
    const int first = ids ? ids[0] : 0;
    Log("downloadFile", LogLevel::Info, "Video fileFormate is %d ,code format is %d", int(containerOf(fmt)), first);
    return first != 0;
}

QMap<RP_CodecType, QString> Utils::getSupportCodecs(int fmt)
{
    static const char* const labels[] = {"", "H.264", "HEVC", "Apple ProRes 422",
                                         "Apple ProRes 4444", "GIF"};
    QMap<RP_CodecType, QString> codecs;
    const int* ids = videoCodecsOf(fmt);
    for (; ids && *ids != 0; ++ids) {
        if (*ids >= RP_Codec_H264 && *ids <= RP_Codec_GIF)
            codecs.insert(RP_CodecType(*ids), QString::fromLatin1(labels[*ids]));
    }
    return codecs;
}

bool Utils::isSameStorage(const QString& a, const QString& b)
{
    // Volume names say nothing on Linux (often empty, tmpfs mounts all share
    // one device name): the file-system device decides whether a rename works.
    const QStorageInfo first(a);
    ensureExists(b);
    const QStorageInfo second(b);
    Log("downloadFile", LogLevel::Error, "storage1 name%s, storage2 name%s", first.device().constData(),
        second.device().constData());
    dev_t devA = 0, devB = 0;
    return deviceOf(a, devA) && deviceOf(b, devB) && devA == devB;
}

QStringList Utils::strSplitSkipEmpty(const QString& s, const QString& sep)
{
    return s.split(sep, Qt::SkipEmptyParts, Qt::CaseSensitive);
}

bool Utils::excuteFileUseQProcess(const QString& program, const QStringList& args, int timeoutMs)
{
    QProcess process;
    process.start(program, args, QIODevice::ReadWrite);
    if (!process.waitForStarted()) {
        Log("excuteFile", LogLevel::Error, "file excute failed, %s", U8(program));
        return false;
    }
    // Nothing is fed in: a program reading its input must not wait for us.
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        Log("excuteFile", LogLevel::Error, "file excute timed out, %s", U8(program));
        process.kill();
        process.waitForFinished();
        return false;
    }
    if (process.exitStatus() == QProcess::CrashExit) {
        Log("excuteFile", LogLevel::Error, "file excute crashed, %s", U8(program));
        return false;
    }
    return true;
}

bool Utils::checkHash(const QString& file, const QString& md5)
{
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) {
        Log("checkHash", LogLevel::Error, "open file failed, so check hash faild");
        return false;
    }
    QCryptographicHash hash(QCryptographicHash::Md5);
    hash.addData(&f);
    const QString digest = QString::fromLatin1(hash.result().toHex());
    return digest.compare(md5, Qt::CaseInsensitive) == 0;
}

QString Utils::getMD5FromFileContents(const QString& text)
{
    // Any white space ends the sum: a side file holding the sum alone on a
    // line must not carry the line end into the comparison.
    const QStringList parts = text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (parts.isEmpty()) {
        Log("ParseMD5", LogLevel::Error, "read md5 failed");
        return QString();
    }
    return parts.first();
}

namespace {

QString readSideFileSum(const QString& path)
{
    QFile f(path);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return QString();
    return Utils::getMD5FromFileContents(QString::fromLatin1(f.readAll()));
}

} // namespace

int Utils::downloadFile(const QString& local, const QString& url, const QString& md5,
                        bool (*progress)(qint64, qint64, void*), void* user)
{
    if (url.isEmpty()) {
        Log("downloadFile", LogLevel::Error, "download file, but url is empty.");
        return 1;
    }
    // What a failure returns: 2 once the disk was found too full.
    int failure = 1;
    QString sum = md5;
    if (sum.isEmpty()) {
        const QString side = local + ".md5";
        const QString oldSum = readSideFileSum(side);
        CurWrapper fetch;
        fetch.download(url + ".md5", side, false);
        QString newSum;
        if (fetch.result() == CurWrapper::Done)
            newSum = readSideFileSum(side);
        else if (fetch.result() == CurWrapper::DiskFull)
            failure = 2;
        if (oldSum.isEmpty() && newSum.isEmpty())
            return failure;
        if (!oldSum.isEmpty() && !newSum.isEmpty() && oldSum.compare(newSum, Qt::CaseInsensitive) != 0) {
            // The sum changed: a partial file on disk is of another version.
            QFile::remove(local);
            QFile::remove(local + ".total");
        }
        sum = newSum.isEmpty() ? oldSum : newSum;
    }

    if (QFile::exists(local)) {
        if (checkHash(local, sum))
            return 0;
        if (!QFile::exists(local + ".total"))
            QFile::remove(local);
    }

    CurWrapper curl;
    curl.setDownloadProgressCallback(progress, user);
    curl.download(url, local, true);
    if (curl.result() == CurWrapper::Done) {
        if (checkHash(local, sum))
            return 0;
        QFile::remove(local);
        QFile::remove(local + ".total");
        Log("downloadFile", LogLevel::Error, "download ok, but check hash failed. why ?");
        Log("downloadFile", LogLevel::Error, "url: %s", U8(url));
        Log("downloadFile", LogLevel::Error, "md5: %s", U8(sum));
        return failure;
    }
    return curl.result() == CurWrapper::DiskFull ? 2 : failure;
}

// ---- message box, engine colours, display, window level --------------------

int Utils::showMacWindowMessage(MsgType type, QWidget* parent, const QString& text, MsgButton buttons)
{
    QPointer<VxMessageBox> box = new VxMessageBox(parent, false);
    // Our framework box starts without buttons: its "own" set is Ok alone.
    const auto ownButtons = [&box] {
        if (!box->button(QMessageBox::Ok) && !box->button(QMessageBox::Cancel)
            && !box->button(QMessageBox::Yes) && !box->button(QMessageBox::No))
            box->setButtons(QMessageBox::Ok);
    };
    switch (buttons) {
    case MsgButton_Ok:
        ownButtons();
        box->setDefaultButton(QMessageBox::Ok);
        break;
    case MsgButton_OkCancel:
        box->setButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Ok);
        break;
    case MsgButton_YesNoCancel:
        box->setButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        box->setDefaultButton(QMessageBox::Yes);
        break;
    default:
        ownButtons();
        break;
    }
    int icon = 1;
    switch (type) {
    case MsgType_Warning: icon = 2; break;
    case MsgType_Critical: icon = 6; break;
    case MsgType_Question: icon = 4; break;
    default: break;
    }
    box->setIcon(icon);
    box->setMsgTitle(VxProductInfo::instance()->productName(QString()));
    box->setWindowModality(Qt::WindowModal);
    box->setLabelInfo(text);
    box->adjustSize();
    const int result = box->exec();
    delete box.data();
    return result;
}

void Utils::setLineColor()
{
    const ColorRef orange = 0xFFDE621E;
    const ColorRef white = 0xFFFFFFFF;
    const LineColors lines{orange, white};
    const AnchorColors anchors{white, orange};
    SetScreenSelColors(lines);
    SetScreenCropBoxColors(lines, anchors);
    SetWindowCropBoxColors(lines, anchors);
    SetImageBoxColors(lines);
    SetImageCropBoxColors(lines, anchors);
    SetRecordBoxColor(lines);
    SetPauseBoxColor(lines);
}

QRect Utils::DisplayRectToScreen(int displayIndex, QRect r)
{
    // Inclusive corners, as QRect keeps them: right = left + width - 1.
    const CRect display{double(r.left()), double(r.top()), double(r.right()), double(r.bottom())};
    const CRect screen = ConvertDisplayRectToScreen(displayIndex, display);
    Log("downloadFile", LogLevel::Info, "rcDisplay use index:%d leftTop(%1f,%1f),size: %1f*%1f ", displayIndex,
        screen.left, screen.top, screen.right - screen.left, screen.bottom - screen.top);
    return QRect(QPoint(int(screen.left), int(screen.top)), QPoint(int(screen.right), int(screen.bottom)));
}

void Utils::setTopWindowLevel(QWidget* w)
{
    if (!w)
        return;
    QWidget* top = w->window();
    const Qt::WindowFlags flags = top->windowFlags() | Qt::WindowStaysOnTopHint;
    // QWidget::setWindowFlags would re-create the native window and hide it;
    // telling the native window directly keeps it shown where it is.
    top->overrideWindowFlags(flags);
    if (QWindow* window = top->windowHandle())
        window->setFlags(window->flags() | Qt::WindowStaysOnTopHint);
}

bool Utils::applicationIsInDarkMode()
{
    const QPalette palette = QApplication::palette();
    return palette.color(QPalette::Window).lightness() < palette.color(QPalette::WindowText).lightness();
}

// ---- brand -------------------------------------------------------------------

QString Utils::getProductBrandName()
{
    static const struct {
        const char* family;
        QStringList brands;
    } families[] = {
        {"Preldun", {"PrelDun"}},
        {"Qorva", {"Qorvantix", "Tolmex", "4Vexor", "Pelnaro", "Lunkor", "ZUKarn", "4Mibo", "BelWandrix"}},
        {"Ormel", {"Ormel", "Halvind"}},
        {"Merkaso", {"MerKaso", "Tramvelix", "Koskut", "Fernol"}},
        {"Wexcarlind", {"Wexcarlind"}},
        {"Pemro", {"Pemro", "Tashvi", "DaLoMin", "Ruvo"}},
        {"Bolsen", {"Bolsen"}},
    };
    const QString brand = VxProductInfo::instance()->brand();
    Log("downloadFile", LogLevel::Info, "product brand : %s", U8(brand));
    for (const auto& f : families) {
        if (f.brands.contains(brand, Qt::CaseSensitive))
            return QString::fromLatin1(f.family);
    }
    return QString();
}

QString Utils::getAudioDriverName()
{
    static const QMap<QString, QString> names = {
        {"Preldun", "PrelDun Recording Audio Plug-in"},
        {"Qorva", "QR Broad Audio Plug-in"},
        {"Ormel", "Wide Audio Capture Plug-in"},
        {"Merkaso", "Screen Capture Audio Plug-in"},
        {"Wexcarlind", "Prime Audio Recorder Plug-in"},
        {"Pemro", "KT Audio Plug-in"},
        {"Bolsen", "Wide Audio Capture Plug-in"},
    };
    return names.value(getProductBrandName());
}

QString Utils::productFontFamily(const QString& language)
{
    const QString family = VxProductInfo::instance()->extendParam(QStringLiteral("fontFamily"), language);
    if (!family.isEmpty() && QFontDatabase().hasFamily(family))
        return family;
    return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}
