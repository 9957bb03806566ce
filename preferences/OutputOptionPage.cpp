#include "preferences/OutputOptionPage.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include "core/RecordParameter.h"
#include "core/Utils.h"

namespace {

struct Named {
    int value;
    const char* name;
};

const Named kContainers[] = {{RP_Format_MP4, "MP4"}, {RP_Format_MOV, "MOV"}, {RP_Format_M4V, "M4V"},
                             {RP_Format_GIF, "GIF"}};
const Named kAudioFormats[] = {{RP_Format_M4A, "M4A"}, {RP_Format_CAF, "CAF"}, {RP_Format_MP3, "MP3"},
                               {RP_Format_OGG, "OGG"}, {RP_Format_OPUS, "OPUS"}, {RP_Format_FLAC, "FLAC"},
                               {RP_Format_WMA, "WMA"}};
const Named kImageFormats[] = {{RP_Format_PNG, "PNG"}, {RP_Format_JPG, "JPG"}, {RP_Format_BMP, "BMP"},
                               {RP_Format_TIFF, "TIFF"}, {RP_Format_GIF, "GIF"}};
const int kFrameRates[] = {5, 10, 15, 20, 24, 25, 30, 50, 60};

template <size_t N>
void fillNamed(QComboBox* combo, const Named (&entries)[N])
{
    for (const Named& entry : entries)
        combo->addItem(QString::fromLatin1(entry.name), entry.value);
}

void fillQualities(QComboBox* combo, RP_CodecQuality highest)
{
    const char* const names[] = {QT_TRANSLATE_NOOP("OutputOptionPage", "Lowest"),
                                 QT_TRANSLATE_NOOP("OutputOptionPage", "Low"),
                                 QT_TRANSLATE_NOOP("OutputOptionPage", "Medium"),
                                 QT_TRANSLATE_NOOP("OutputOptionPage", "High"),
                                 QT_TRANSLATE_NOOP("OutputOptionPage", "Highest"),
                                 QT_TRANSLATE_NOOP("OutputOptionPage", "Lossless")};
    for (int q = RP_Quality_Lowest; q <= highest; ++q)
        combo->addItem(OutputOptionPage::tr(names[q - 1]), q);
}

QToolButton* iconButton(QWidget* parent, const char* icon, const QString& tip, const QString& name)
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setIcon(OptionPage::icon(icon));
    button->setIconSize(QSize(18, 18));
    button->setToolTip(tip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

OutputOptionPage::OutputOptionPage(QWidget* parent)
    : OptionPage(parent)
{
    setObjectName(QStringLiteral("pageOutput"));
    QFormLayout* folders = addSection(tr("Folders"), "lblFolders");
    m_video = addFolderRow(folders, tr("Videos and sound:"), "VideoFolder", Utils::getOriginalVideoOutputPath());
    m_snapshot = addFolderRow(folders, tr("Screenshots:"), "SnapshotFolder", Utils::getOriginalSnapshotPath());
    // The engine keeps its working files here while it records; the folder
    // is the program's own, but the room left on it limits a recording.
    m_pTempFolder = new QLineEdit(this);
    m_pTempFolder->setObjectName(QStringLiteral("edtTempFolder"));
    m_pTempFolder->setReadOnly(true);
    folders->addRow(tr("Temporary files:"), m_pTempFolder);
    m_pTempFree = new QLabel(this);
    m_pTempFree->setObjectName(QStringLiteral("lblTempFree"));
    m_pTempFree->setProperty("hint", true);
    folders->addRow(QString(), m_pTempFree);

    QFormLayout* video = addSection(tr("Video"), "lblVideo");
    m_pContainer = addCombo(video, tr("Format:"), "cmbContainer");
    m_pCodec = addCombo(video, tr("Codec:"), "cmbCodec");
    m_pVideoQuality = addCombo(video, tr("Quality:"), "cmbVideoQuality");
    fillQualities(m_pVideoQuality, RP_Quality_Lossless);
    m_pFrameRate = addCombo(video, tr("Frame rate:"), "cmbFrameRate");
    m_pGifLimit = new QLabel(this);
    m_pGifLimit->setObjectName(QStringLiteral("lblGifLimit"));
    m_pGifLimit->setProperty("hint", true);
    m_pGifLimit->setWordWrap(true);
    video->addRow(QString(), m_pGifLimit);

    QFormLayout* audio = addSection(tr("Sound"), "lblAudio");
    m_pAudioFormat = addCombo(audio, tr("Format:"), "cmbAudioFormat");
    fillNamed(m_pAudioFormat, kAudioFormats);
    m_pAudioQuality = addCombo(audio, tr("Quality:"), "cmbAudioQuality");
    fillQualities(m_pAudioQuality, RP_Quality_Highest);

    QFormLayout* image = addSection(tr("Screenshots"), "lblImage");
    m_pImageFormat = addCombo(image, tr("Format:"), "cmbImageFormat");
    fillNamed(m_pImageFormat, kImageFormats);
    static_cast<QVBoxLayout*>(layout())->addStretch(1);

    fillContainers();
    connect(m_pContainer, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &OutputOptionPage::fillCodecs);
    connect(this, &OptionPage::changed, this, &OutputOptionPage::showGifLimit);
}

void OutputOptionPage::showGifLimit()
{
    // A GIF keeps every picture whole, so a recording stops once its
    // pictures would pass 1.5 GiB at a byte a pixel; tell how long that is
    // for the current area and frame rate before the user finds out.
    const QRect area = RecordParameter::instance()->getVideoRect();
    const qint64 pixels = qint64(area.width()) * area.height();
    const int fps = m_pFrameRate->currentData().toInt();
    const bool gif = m_pContainer->currentData().toInt() == RP_Format_GIF;
    m_pGifLimit->setVisible(gif && pixels > 0 && fps > 0);
    if (!m_pGifLimit->isVisibleTo(this))
        return;
    const qint64 seconds = qint64(1610612736.0 / double(pixels)) / fps;
    m_pGifLimit->setText(tr("A GIF of the current area (%1 x %2) stops by itself after about %3 s.")
                             .arg(area.width())
                             .arg(area.height())
                             .arg(seconds));
}

OutputOptionPage::FolderRow OutputOptionPage::addFolderRow(QFormLayout* form, const QString& label, const char* name,
                                                           const QString& fallback)
{
    FolderRow row;
    row.edit = new QLineEdit(this);
    row.edit->setObjectName(QStringLiteral("edt") + QLatin1String(name));
    // Typed paths invite typing errors; the chooser gives real folders.
    row.edit->setReadOnly(true);
    auto* browse = iconButton(this, "folder.svg", tr("Choose a folder"), QStringLiteral("btn") + QLatin1String(name));
    auto* reset = iconButton(this, "reset.svg", tr("Back to the program's folder"),
                             QStringLiteral("btnReset") + QLatin1String(name));
    auto* line = new QHBoxLayout;
    line->setSpacing(4);
    line->addWidget(row.edit, 1);
    line->addWidget(browse);
    line->addWidget(reset);
    form->addRow(label, line);
    row.free = new QLabel(this);
    row.free->setObjectName(QStringLiteral("lbl") + QLatin1String(name) + QStringLiteral("Free"));
    row.free->setProperty("hint", true);
    form->addRow(QString(), row.free);

    QLineEdit* edit = row.edit;
    QLabel* free = row.free;
    watch(edit);
    connect(edit, &QLineEdit::textChanged, free, [edit, free](const QString& folder) {
        // A long path shows its start; the whole of it is in the tip.
        edit->setCursorPosition(0);
        edit->setToolTip(folder);
        showFreeSpace(free, folder);
    });
    connect(browse, &QToolButton::clicked, this, [this, edit, label] {
        const QString chosen = QFileDialog::getExistingDirectory(this, label, edit->text());
        if (!chosen.isEmpty())
            edit->setText(QDir::cleanPath(chosen));
    });
    connect(reset, &QToolButton::clicked, edit, [edit, fallback] { edit->setText(fallback); });
    return row;
}

void OutputOptionPage::fillContainers()
{
    // Only containers the engine can write a video into.
    for (const Named& entry : kContainers) {
        if (!Utils::getSupportCodecs(entry.value).isEmpty())
            m_pContainer->addItem(QString::fromLatin1(entry.name), entry.value);
    }
    fillCodecs();
}

void OutputOptionPage::fillCodecs()
{
    const QVariant kept = m_pCodec->currentData();
    QSignalBlocker quiet(m_pCodec);
    m_pCodec->clear();
    const QMap<RP_CodecType, QString> codecs = Utils::getSupportCodecs(m_pContainer->currentData().toInt());
    for (auto it = codecs.begin(); it != codecs.end(); ++it)
        m_pCodec->addItem(it.value(), int(it.key()));
    selectData(m_pCodec, kept);
    quiet.unblock();
    emit changed();
}

void OutputOptionPage::fillFrameRates(int stored)
{
    m_pFrameRate->clear();
    bool listed = false;
    for (int fps : kFrameRates) {
        if (!listed && stored > 0 && stored < fps) {
            m_pFrameRate->addItem(QString::number(stored), stored);
            listed = true;
        }
        listed = listed || fps == stored;
        m_pFrameRate->addItem(QString::number(fps), fps);
    }
    if (!listed && stored > 0)
        m_pFrameRate->addItem(QString::number(stored), stored);
    selectData(m_pFrameRate, stored);
}

void OutputOptionPage::load()
{
    m_video.loaded = Utils::getVideoOutputPath();
    m_snapshot.loaded = Utils::getSnapshotPath();
    m_video.edit->setText(m_video.loaded);
    m_snapshot.edit->setText(m_snapshot.loaded);
    m_pTempFolder->setText(Utils::getRecorderTmpRoot());
    m_pTempFolder->setCursorPosition(0);
    m_pTempFolder->setToolTip(m_pTempFolder->text());
    showFreeSpace(m_pTempFree, m_pTempFolder->text());

    RecordParameter* rp = RecordParameter::instance();
    // A container that changes refills the codecs through the signal.
    selectData(m_pContainer, int(rp->usedVideoFmt()));
    selectData(m_pCodec, int(rp->getVideoCodecType()));
    selectData(m_pVideoQuality, int(rp->getVideoQuality()));
    fillFrameRates(rp->getVideoFrameRate());
    selectData(m_pAudioFormat, int(rp->usedAudioFmt()));
    selectData(m_pAudioQuality, int(rp->getAudioQuality()));
    selectData(m_pImageFormat, int(rp->usedImgFmt()));
    showGifLimit();
    remember();
}

bool OutputOptionPage::apply(QString* error)
{
    const QString videoFolder = m_video.edit->text();
    const QString snapshotFolder = m_snapshot.edit->text();
    if (!usableFolder(videoFolder, error) || !usableFolder(snapshotFolder, error))
        return false;
    // A folder left alone stays unstored, so it keeps following the default.
    if (videoFolder != m_video.loaded)
        Utils::setVideoOutputPath(videoFolder);
    if (snapshotFolder != m_snapshot.loaded)
        Utils::setSnapshotPath(snapshotFolder);
    m_video.loaded = videoFolder;
    m_snapshot.loaded = snapshotFolder;

    RecordParameter* rp = RecordParameter::instance();
    if (m_pContainer->currentIndex() >= 0)
        rp->setUsedVideoFmt(RP_Format(m_pContainer->currentData().toInt()));
    const RP_CodecType codec =
        m_pCodec->currentIndex() >= 0 ? RP_CodecType(m_pCodec->currentData().toInt()) : rp->getVideoCodecType();
    rp->setVideoOpt(m_pFrameRate->currentData().toInt(), codec,
                    RP_CodecQuality(m_pVideoQuality->currentData().toInt()));
    rp->setUsedAudioFmt(RP_Format(m_pAudioFormat->currentData().toInt()));
    rp->setAudioQuality(RP_CodecQuality(m_pAudioQuality->currentData().toInt()));
    rp->setUsedImgFmt(RP_Format(m_pImageFormat->currentData().toInt()));
    remember();
    return true;
}

QVariantList OutputOptionPage::values() const
{
    return {m_video.edit->text(),           m_snapshot.edit->text(),       m_pContainer->currentData(),
            m_pCodec->currentData(),        m_pVideoQuality->currentData(), m_pFrameRate->currentData(),
            m_pAudioFormat->currentData(),  m_pAudioQuality->currentData(), m_pImageFormat->currentData()};
}

void OutputOptionPage::showFreeSpace(QLabel* label, const QString& folder)
{
    bool ok = false;
    const qint64 bytes = folder.isEmpty() ? 0 : Utils::freeDiskSize(folder + QLatin1Char('/'), ok);
    if (!ok) {
        label->clear();
        return;
    }
    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(bytes, value);
    label->setText(tr("%1 %2 free").arg(value, 0, 'f', 2).arg(unit));
}

bool OutputOptionPage::usableFolder(const QString& folder, QString* error)
{
    if (!folder.isEmpty() && QDir().mkpath(folder)) {
        const QFileInfo info(folder);
        if (info.isDir() && info.isWritable())
            return true;
    }
    if (error)
        *error = tr("The folder \"%1\" cannot be written to. Please choose another one.").arg(folder);
    return false;
}
