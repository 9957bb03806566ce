#include "capture/DlgVideoClip.h"

#include "platform/framework/VxMainWindowBase.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTime>
#include <QTimer>
#include <QVBoxLayout>

#include <cstdio>

#include "Screencast.h"
#include "capture/PreviewPlayer.h"
#include "core/RecordingSession.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/StatusItem.h"
#include "core/UnsavedRecording.h"
#include "core/Utils.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"

namespace {

const char* const kModule = "DlgVideoClip";
const int kAutoSaveDelayMs = 50;
const int kProgressIntervalMs = 200;
const int kProgressSteps = 1000;
// A range this near both ends is the whole recording.
const double kWholeSlack = 0.05;

DlgVideoClip::FolderChooser& folderChooser()
{
    static DlgVideoClip::FolderChooser chooser;
    return chooser;
}

DlgVideoClip::AudioConverter& audioConverter()
{
    static DlgVideoClip::AudioConverter converter;
    return converter;
}

QString askFolder(QWidget* parent, const QString& current)
{
    if (folderChooser())
        return folderChooser()(parent, current);
    const QString folder = QFileDialog::getExistingDirectory(
        parent, QObject::tr("Select Folder"), current,
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    return folder.isEmpty() ? QString() : VxFileUtils::makeOSLikePath(folder);
}

// The engine reports the end of a conversion on its own thread; the hub
// carries it to the window queued.
class ConvertDone : public AudioConvertCallback
{
public:
    void OnComplete(int result) override
    {
        Log(kModule, LogLevel::Info, "audio convert result %d", result);
        if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
            emit hub->OnExportCompleted(result == 0);
    }
};

// The object is released before the callback it was given goes.
struct EngineConversion
{
    ConvertDone callback;
    CBasePtr<CAudioConvertObject> object;
};

// The end of a cut travels the same hub signal as the end of a
// conversion; the window tells them apart by what it has under way.
class CutDone : public AVPlayerExportCallback
{
public:
    void OnExportCompleted(bool success) override
    {
        Log(kModule, LogLevel::Info, "cut result %d", int(success));
        if (SignalsTransfer::Existing hub = SignalsTransfer::existing())
            emit hub->OnExportCompleted(success);
    }
};

} // namespace

struct DlgVideoClip::EngineExport
{
    CutDone callback;
    CBasePtr<CMediaExportObject> object;
};

namespace {

DlgVideoClip::ConvertHandle engineConvert(const QString& source, const QString& target, int format)
{
    auto conversion = std::make_shared<EngineConversion>();
    const QByteArray src = source.toUtf8();
    const QByteArray dst = target.toUtf8();
    conversion->object = scAudioConvert(&conversion->callback, src.constData(), dst.constData(), format);
    if (!conversion->object)
        return nullptr;
    return conversion;
}

QString timeText(double seconds)
{
    return QTime(0, 0, 0, 0).addSecs(int(seconds)).toString(QStringLiteral("hh:mm:ss"));
}

// folder/stem.suffix, or folder/stem(n).suffix when that name is taken.
QString freeName(const QString& folder, const QString& stem, const QString& suffix)
{
    QString path = QStringLiteral("%1/%2.%3").arg(folder, stem, suffix);
    for (int n = 1; QFileInfo(path).exists() || QFileInfo(path).isSymLink(); ++n)
        path = QStringLiteral("%1/%2(%3).%4").arg(folder, stem).arg(n).arg(suffix);
    return path;
}

} // namespace

DlgVideoClip::DlgVideoClip(QString file, VxMainWindowBase* frame, QWidget* parent, bool isVideo, bool autoSave)
    : VxDialogBase(parent), m_strFile(std::move(file)), m_pFrame(frame), m_bVideo(isVideo), m_bAutoSave(autoSave)
{
    m_nameStamp = QDateTime::currentDateTime();
    m_bSessionPreview = RecordingSession::instance()->previewOpened();
    Log(kModule, LogLevel::Info, "preview %s video:%d autoSave:%d", m_strFile.toUtf8().constData(), int(isVideo),
        int(autoSave));
    setObjectName(QStringLiteral("DlgVideoClip"));
    // A sound recording handed over without its file is the engine's last one.
    if (!m_bVideo && !QFileInfo(m_strFile).isFile()) {
        const QString recorded = QString::fromUtf8(GetAudioRecordFile());
        if (QFileInfo(recorded).isFile())
            m_strFile = recorded;
    }
    buildForm();
    showFacts();

    m_pProgressTimer = new QTimer(this);
    m_pProgressTimer->setInterval(kProgressIntervalMs);
    connect(m_pProgressTimer, &QTimer::timeout, this, &DlgVideoClip::onUpdateProgressBar);
    connect(m_pBtnSave, &QPushButton::clicked, this, &DlgVideoClip::onSave);
    connect(m_pBtnReRecord, &QPushButton::clicked, this, &DlgVideoClip::onReRecord);
    connect(m_pBtnCancelCut, &QPushButton::clicked, this, &DlgVideoClip::cancelExport);
    connect(m_pPlayer, &PreviewPlayer::trimmingChanged, this, &DlgVideoClip::updateButtons);

    SignalsTransfer* hub = SignalsTransfer::instance();
    m_connTrimCancel = connect(hub, &SignalsTransfer::OnTrimCancel, this, &DlgVideoClip::onTrimCancel,
                               Qt::QueuedConnection);
    m_connTrimOK = connect(hub, &SignalsTransfer::OnTrimOK, this, &DlgVideoClip::onTrimOK, Qt::QueuedConnection);
    m_connExport = connect(hub, &SignalsTransfer::OnExportCompleted, this, &DlgVideoClip::onExportCompleted,
                           Qt::QueuedConnection);
    m_connStatus = connect(hub, &SignalsTransfer::OnStatueChanged, this, &DlgVideoClip::onStatueChanged,
                           Qt::QueuedConnection);
    StatusItem::instance()->connectShowPreview(this, [this] { onShowPreview(); });

    initCopyThread();
    postCreateDerivedDialog(true);
    // A window that saves by itself is not there to be watched: no sound.
    m_pPlayer->open(m_strFile, m_bVideo, !m_bAutoSave);
    if (m_bAutoSave)
        QTimer::singleShot(kAutoSaveDelayMs, this, &DlgVideoClip::startSave);
}

DlgVideoClip::~DlgVideoClip()
{
    m_bClosing = true;
    m_pProgressTimer->stop();
    // A cut or a conversion is cancelled by releasing it; no callback comes
    // after.
    dropExport();
    m_convert.reset();
    if (m_pSaver)
        m_pSaver->cancel();
    m_thread.quit();
    m_thread.wait();
    // A move finishes even when cancelled: its result may still be queued
    // here, and a file that reached the output folder belongs in the history.
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
    if (m_bSessionPreview)
        RecordingSession::instance()->previewClosed();
}

void DlgVideoClip::setFolderChooser(const FolderChooser& chooser)
{
    folderChooser() = chooser;
}

void DlgVideoClip::setAudioConverter(const AudioConverter& converter)
{
    audioConverter() = converter;
}

QString DlgVideoClip::audioSuffix(int format)
{
    switch (format) {
    case RP_Format_M4A: return QStringLiteral("m4a");
    case RP_Format_CAF: return QStringLiteral("caf");
    case RP_Format_OGG: return QStringLiteral("ogg");
    case RP_Format_OPUS: return QStringLiteral("opus");
    case RP_Format_FLAC: return QStringLiteral("flac");
    case RP_Format_WMA: return QStringLiteral("wma");
    default: return QStringLiteral("mp3");
    }
}

int DlgVideoClip::exec()
{
    // Saved before the loop could start (events run between construction
    // and exec): nothing is left to wait for.
    if (m_bSaved)
        return Accepted;
    return VxDialogBase::exec();
}

void DlgVideoClip::initCopyThread()
{
    auto* saver = new SelectSavePath;
    saver->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, saver, &QObject::deleteLater);
    connect(this, &DlgVideoClip::sigSave, saver, &SelectSavePath::saveWork);
    connect(saver, &SelectSavePath::completed, this, &DlgVideoClip::onCompleted);
    connect(saver, &SelectSavePath::sigPathFailed, this, &DlgVideoClip::onPathFailed);
    m_pSaver = saver;
    m_thread.start(QThread::InheritPriority);
}

void DlgVideoClip::buildForm()
{
    m_pPlayer = new PreviewPlayer(this);

    m_pName = new QLabel(this);
    m_pName->setObjectName(QStringLiteral("lblFileName"));
    m_pName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pResolution = new QLabel(this);
    m_pResolution->setObjectName(QStringLiteral("lblResolution"));
    m_pDuration = new QLabel(this);
    m_pDuration->setObjectName(QStringLiteral("lblDuration"));
    m_pSize = new QLabel(this);
    m_pSize->setObjectName(QStringLiteral("lblSize"));
    m_pFolder = new QLabel(this);
    m_pFolder->setObjectName(QStringLiteral("lblFolder"));
    m_pFolder->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pFolder->setWordWrap(true);

    auto* facts = new QFormLayout;
    facts->setLabelAlignment(Qt::AlignRight);
    facts->addRow(tr("Saved as:"), m_pName);
    // A hidden row would still leave its spacing: sound has none.
    if (m_bVideo)
        facts->addRow(tr("Resolution:"), m_pResolution);
    else
        m_pResolution->hide();
    facts->addRow(tr("Duration:"), m_pDuration);
    facts->addRow(tr("Size:"), m_pSize);
    facts->addRow(tr("Save to:"), m_pFolder);

    m_pProgress = new QProgressBar(this);
    m_pProgress->setObjectName(QStringLiteral("progressSave"));
    m_pProgress->setRange(0, kProgressSteps);
    m_pProgress->setValue(0);
    m_pProgress->setTextVisible(false);
    m_pProgress->hide();
    m_pBtnCancelCut = new QPushButton(tr("Cancel"), this);
    m_pBtnCancelCut->setObjectName(QStringLiteral("btnCancelCut"));
    m_pBtnCancelCut->setAutoDefault(false);
    m_pBtnCancelCut->hide();
    auto* progress = new QHBoxLayout;
    progress->addWidget(m_pProgress, 1);
    progress->addWidget(m_pBtnCancelCut);
    m_pStatus = new QLabel(this);
    m_pStatus->setObjectName(QStringLiteral("lblStatus"));
    m_pStatus->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(10);
    layout->addWidget(m_pPlayer, 1);
    layout->addLayout(facts);
    layout->addLayout(progress);
    layout->addWidget(m_pStatus);
    layout->addLayout(buildButtons());
}

QLayout* DlgVideoClip::buildButtons()
{
    m_pBtnReRecord = new QPushButton(tr("Record Again"), this);
    m_pBtnReRecord->setObjectName(QStringLiteral("btnReRecord"));
    // Only Save answers Enter, wherever the focus is.
    m_pBtnReRecord->setAutoDefault(false);
    m_pBtnSave = new QPushButton(tr("Save"), this);
    m_pBtnSave->setObjectName(QStringLiteral("btnSave"));
    m_pBtnSave->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pBtnReRecord);
    buttons->addWidget(m_pBtnSave);
    setTabOrder(m_pBtnSave, m_pBtnReRecord);
    return buttons;
}

void DlgVideoClip::showFacts()
{
    const QFileInfo info(m_strFile);
    const bool exists = info.isFile();
    const int format = RecordParameter::instance()->usedAudioFmt();
    const QString suffix = m_bVideo ? info.suffix() : audioSuffix(format);
    m_pName->setText(SelectSavePath::fileNameFor(saveRequest(m_strFile, QString()), suffix));
    double seconds = exists ? Utils::getMediaDuration(m_strFile) : 0.0;
    if (!m_bVideo && seconds <= 0.0)
        seconds = Utils::getAudioDuration();
    m_pDuration->setText(timeText(seconds));
    if (m_bVideo) {
        const QRect picture = exists ? Utils::getVideoRect(m_strFile) : QRect();
        m_pResolution->setText(picture.isEmpty() ? tr("Unknown")
                                                 : QStringLiteral("%1*%2").arg(picture.width()).arg(picture.height()));
    }
    if (exists) {
        double value = 0.0;
        const QString unit = Utils::getUtilOfSize(info.size(), value);
        m_pSize->setText(QString::asprintf("%.2f", value) + unit);
    } else {
        m_pSize->setText(tr("Unknown"));
    }
    m_pFolder->setText(Utils::getVideoOutputPath());
}

void DlgVideoClip::showEvent(QShowEvent* event)
{
    emit SignalsTransfer::instance()->cameraDlgClose();
    VxDialogBase::showEvent(event);
    if (m_pBtnSave->isEnabled())
        m_pBtnSave->setFocus(Qt::OtherFocusReason);
}

void DlgVideoClip::onShowPreview()
{
    if (m_bClosing)
        return;
    if (isHidden() || isMinimized())
        showNormal();
}

void DlgVideoClip::reject()
{
    if (!m_bClosing && !discardAgreed([this] { reject(); }))
        return;
    // Leaving stops a copy under way (the worker removes what it wrote)
    // and an automatic save that has not started yet.
    if (m_bSaving && m_pSaver) {
        Log(kModule, LogLevel::Info, "closed while saving: cancel");
        m_pSaver->cancel();
    }
    m_bClosing = true;
    m_convert.reset();
    m_bConverting = false;
    discardRecording();
    VxDialogBase::reject();
}

bool DlgVideoClip::discardAgreed(std::function<void()> retry)
{
    if (m_bDiscard || m_bSaved || !QFileInfo(m_strFile).isFile())
        return true;   // agreed already, or nothing left to lose
    if (m_pDiscardQuestion)
        return false;   // asked already: its answer decides
    m_pDiscardQuestion = VxMessageBox::openBox(
        VxMessageBox::kIconQuestion, this, VxProductInfo::instance()->productName(QString()),
        tr("Discard this recording? It has not been saved and will be deleted."),
        QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No, this,
        [this, retry](int answer) {
            if (answer != QMessageBox::Yes)
                return;
            m_bDiscard = true;
            retry();
        });
    return false;
}

void DlgVideoClip::discardRecording()
{
    dropExport();
    if (!m_bDiscard || m_bSaved)
        return;
    Log(kModule, LogLevel::Info, "recording discarded");
    m_pPlayer->close();
    QFile::remove(m_strFile);
    if (!m_strConverted.isEmpty())
        QFile::remove(m_strConverted);
    UnsavedRecording::forget();
}

void DlgVideoClip::onSave()
{
    disconnect(m_connTrimOK);
    startSave();
}

void DlgVideoClip::onReRecord()
{
    Log(kModule, LogLevel::Info, "record again");
    if (m_bSaving || m_export || !discardAgreed([this] { onReRecord(); }))
        return;
    disconnect(m_connExport);
    disconnect(m_connStatus);
    m_convert.reset();
    m_bConverting = false;
    m_bClosing = true;
    discardRecording();
    done(Rejected);
}

void DlgVideoClip::startSave()
{
    if (m_bSaving || m_bSaved || m_bClosing)
        return;
    const QString folder = Utils::getVideoOutputPath();
    m_pFolder->setText(folder);
    if (m_bVideo) {
        saveTo(m_strFile, folder);
        return;
    }

    // Sound is saved in the chosen audio format: converted first, unless
    // the recording is already in it or was converted by an earlier try.
    int format = RecordParameter::instance()->usedAudioFmt();
    if (format < RP_Format_M4A || format > RP_Format_WMA)
        format = RP_Format_MP3;
    const QString suffix = audioSuffix(format);
    const QFileInfo info(m_strFile);
    const bool exists = info.isFile();
    if (exists && info.suffix().compare(suffix, Qt::CaseInsensitive) == 0) {
        m_strConverted.clear();
        saveTo(m_strFile, folder);
        return;
    }
    if (!m_strConverted.isEmpty() && QFileInfo(m_strConverted).isFile()
        && QFileInfo(m_strConverted).suffix() == suffix) {
        saveTo(m_strConverted, folder);
        return;
    }
    const QString dir = !m_strFile.isEmpty() && info.dir().exists() ? info.absolutePath()
                                                                     : Utils::getRecorderTmpRoot();
    QString stem = info.fileName();
    if (exists && !info.suffix().isEmpty() && stem.size() > info.suffix().size() + 1)
        stem.chop(info.suffix().size() + 1);
    if (stem.isEmpty())
        stem = QStringLiteral(".audio");
    m_strConverted = freeName(dir, stem, suffix);
    Log(kModule, LogLevel::Info, "convert audio to %s (format %d)", m_strConverted.toUtf8().constData(), format);

    setSaving(true);
    m_pProgress->setRange(0, 0);
    m_pStatus->setText(tr("Converting..."));
    m_bConverting = true;
    const AudioConverter& converter = audioConverter();
    m_convert = converter ? converter(exists ? m_strFile : QString(), m_strConverted, format)
                          : engineConvert(exists ? m_strFile : QString(), m_strConverted, format);
    if (!m_convert) {
        m_bConverting = false;
        saveFailed(tr("The audio recording could not be converted."));
    }
}

void DlgVideoClip::onExportCompleted(bool ok)
{
    if (m_bClosing)
        return;
    if (!m_bConverting) {
        if (m_export)
            exportDone(ok);
        return;
    }
    m_bConverting = false;
    m_convert.reset();
    if (!ok || !QFileInfo(m_strConverted).isFile()) {
        Log(kModule, LogLevel::Info, "audio convert failed");
        saveFailed(tr("The audio recording could not be converted."));
        return;
    }
    saveTo(m_strConverted, Utils::getVideoOutputPath());
}

void DlgVideoClip::saveTo(const QString& source, const QString& folder)
{
    if (!m_bVideo) {
        double seconds = Utils::getMediaDuration(source);
        if (seconds <= 0.0)
            seconds = Utils::getAudioDuration();
        VxSettings::instance()->setApplicationParam(QStringLiteral("audio/duration"), timeText(seconds));
    }
    m_request = saveRequest(source, folder);
    m_strSaveSource = source;
    setSaving(true);
    m_pProgress->setRange(0, kProgressSteps);
    m_pProgress->setValue(0);
    m_pStatus->setText(tr("Saving..."));
    m_pProgressTimer->start();
    if (!m_pSaver)
        return;
    m_pSaver->queueRequest(m_request);
    emit sigSave(source, folder);
}

SelectSavePath::Request DlgVideoClip::saveRequest(const QString& source, const QString& folder) const
{
    SelectSavePath::Request request = SelectSavePath::takeRequest(source, folder);
    request.stamp = m_nameStamp;
    if (!request.onlyCamera)
        request.video = m_bVideo;
    return request;
}

void DlgVideoClip::setSaving(bool saving)
{
    markSaving(saving);
    updateButtons();
}

void DlgVideoClip::markSaving(bool saving)
{
    if (m_bSessionPreview && saving != m_bSaving) {
        RecordingSession* session = RecordingSession::instance();
        if (saving)
            session->savingStarted();
        else
            session->savingFinished();
    }
    m_bSaving = saving;
}

void DlgVideoClip::updateButtons()
{
    const bool busy = m_bSaving || m_export || m_bSaved;
    m_pBtnSave->setEnabled(!busy && !m_pPlayer->isTrimming());
    m_pBtnReRecord->setEnabled(!busy && !m_pPlayer->isTrimming());
    m_pPlayer->setTrimAllowed(!busy);
    m_pBtnCancelCut->setVisible(m_export != nullptr);
    m_pProgress->setVisible(busy);
}

void DlgVideoClip::saveFailed(const QString& message)
{
    m_pProgressTimer->stop();
    // Trimming is offered again while the recording waits for another try.
    disconnect(m_connTrimOK);
    m_connTrimOK = connect(SignalsTransfer::instance(), &SignalsTransfer::OnTrimOK, this, &DlgVideoClip::onTrimOK,
                           Qt::QueuedConnection);
    setSaving(false);
    m_pStatus->setText(tr("Not saved."));
    if (!message.isEmpty())
        warn(message);
}

void DlgVideoClip::warn(const QString& text, std::function<void()> then)
{
    VxMessageBox::tell(VxMessageBox::kIconWarning, this, VxProductInfo::instance()->productName(QString()), text, this,
                       [then](int) {
                           if (then)
                               then();
                       });
}

void DlgVideoClip::onUpdateProgressBar()
{
    if (m_export && m_export->object)
        m_pProgress->setValue(int(m_export->object->progress() * kProgressSteps));
    else if (m_pSaver && m_bSaving)
        m_pProgress->setValue(int(m_pSaver->getUpdateProgress() * kProgressSteps));
}

void DlgVideoClip::onCompleted(const QString& path, int type, const QString& resolution, const QString& duration,
                               const QString& size)
{
    Log(kModule, LogLevel::Info, "saved %s", path.toUtf8().constData());
    SignalsTransfer::instance()->addHistoryFile(path, type, resolution, duration, size);
    m_pProgressTimer->stop();
    markSaving(false);
    m_bSaved = true;
    UnsavedRecording::forget();
    // The recording now lives in the output folder: what is left of it in
    // the temporary folder goes.
    m_pPlayer->close();
    Utils::removeTempRoot();
    if (!m_strFile.isEmpty() && QFileInfo(m_strFile).isFile())
        QFile::remove(m_strFile);
    if (!m_strConverted.isEmpty() && QFileInfo(m_strConverted).isFile())
        QFile::remove(m_strConverted);
    if (m_bClosing)
        return;
    m_pProgress->setRange(0, kProgressSteps);
    m_pProgress->setValue(kProgressSteps);
    m_pStatus->setText(tr("Saved to %1").arg(QDir::toNativeSeparators(path)));
    setSaving(false);
    accept();
}

void DlgVideoClip::onPathFailed(const QString& message)
{
    if (m_bClosing)
        return;
    Log(kModule, LogLevel::Info, "save failed: %s", message.toUtf8().constData());
    m_pProgressTimer->stop();
    // The box leaves this slot at once; another folder is asked for once
    // it is answered.
    warn(message, [this] { askAnotherFolder(); });
}

void DlgVideoClip::askAnotherFolder()
{
    if (m_bClosing)
        return;
    if (!QFileInfo::exists(m_strSaveSource)) {
        // Nothing left to save: another folder would not help.
        saveFailed(QString());
        done(Rejected);
        return;
    }
    const QString current = m_request.folder.isEmpty() ? m_request.defaultFolder : m_request.folder;
    const QPointer<DlgVideoClip> self(this);
    const QString folder = askFolder(this, current);
    if (!self || m_bClosing)
        return;
    if (folder.isEmpty()) {
        saveFailed(QString());
        return;
    }
    // The new folder is the only change: name, kind and texts stay those of
    // the save as first asked for.
    SelectSavePath::Request request = m_request;
    request.folder = folder;
    request.defaultFolder.clear();
    m_request = request;
    m_pFolder->setText(folder);
    m_pStatus->setText(tr("Saving..."));
    m_pProgress->setValue(0);
    m_pProgressTimer->start();
    if (!m_pSaver)
        return;
    m_pSaver->queueRequest(request);
    emit sigSave(m_strSaveSource, folder);
}

void DlgVideoClip::onTrimCancel()
{
    Log(kModule, LogLevel::Info, "trim cancelled");
    m_pPlayer->trimEnded();
}

void DlgVideoClip::onTrimOK(double start, double end)
{
    Log(kModule, LogLevel::Info, "trim %f - %f", start, end);
    m_pPlayer->trimEnded();
    startExport(start, end);
}

void DlgVideoClip::onStatueChanged(int status)
{
    m_pPlayer->statusChanged(status);
}

void DlgVideoClip::startExport(double start, double end)
{
    const QFileInfo info(m_strFile);
    if (m_export || m_bSaving || m_bSaved || m_bClosing || !info.isFile())
        return;
    const double length = m_pPlayer->duration();
    if (start <= 0.0 && length > 0.0 && end >= length - kWholeSlack) {
        m_pStatus->setText(tr("The whole recording is kept."));
        return;
    }
    // Beside the recording, hidden, in its container: the rename that
    // puts the cut in its place stays on one volume.
    QString stem = info.completeBaseName();
    while (stem.startsWith(QLatin1Char('.')))
        stem.remove(0, 1);
    m_strCut = freeName(info.absolutePath(), QStringLiteral(".%1-cut").arg(stem), info.suffix());
    auto cut = std::make_unique<EngineExport>();
    cut->object = scExportMedia(&cut->callback, m_strFile.toUtf8().constData(), m_strCut.toUtf8().constData(),
                                start, end);
    Log(kModule, LogLevel::Info, "cut %f - %f into %s: %s", start, end, m_strCut.toUtf8().constData(),
        cut->object ? "started" : "refused");
    if (!cut->object) {
        m_strCut.clear();
        warn(tr("The recording could not be cut."));
        return;
    }
    m_export = std::move(cut);
    m_pProgress->setRange(0, kProgressSteps);
    m_pProgress->setValue(0);
    m_pStatus->setText(tr("Cutting the recording to %1 s...").arg(end - start, 0, 'f', 1));
    m_pProgressTimer->start();
    updateButtons();
}

void DlgVideoClip::exportDone(bool ok)
{
    m_export.reset();   // complete: releasing it removes nothing
    m_pProgressTimer->stop();
    const QString cut = std::exchange(m_strCut, QString());
    bool replaced = false;
    if (ok && QFileInfo(cut).isFile()) {
        m_pPlayer->close();
        // One rename: the recording is whole, old or new, at every moment.
        replaced = std::rename(QFile::encodeName(cut).constData(), QFile::encodeName(m_strFile).constData()) == 0;
        m_pPlayer->open(m_strFile, m_bVideo, false);
    }
    updateButtons();
    if (replaced) {
        // A sound converted before the cut holds the whole recording.
        if (!m_strConverted.isEmpty())
            QFile::remove(std::exchange(m_strConverted, QString()));
        showFacts();
        m_pStatus->setText(tr("The recording was cut."));
        return;
    }
    QFile::remove(cut);
    m_pStatus->setText(tr("Not cut."));
    warn(tr("The recording could not be cut. It is unchanged."));
}

void DlgVideoClip::cancelExport()
{
    if (!m_export)
        return;
    Log(kModule, LogLevel::Info, "cut cancelled");
    dropExport();
    m_pProgressTimer->stop();
    m_pStatus->setText(tr("Cut cancelled. The recording is unchanged."));
    updateButtons();
}

void DlgVideoClip::dropExport()
{
    if (!m_export)
        return;
    m_export.reset();
    // The engine removes what it wrote; a leftover must not stay hidden.
    if (!m_strCut.isEmpty())
        QFile::remove(m_strCut);
    m_strCut.clear();
}
