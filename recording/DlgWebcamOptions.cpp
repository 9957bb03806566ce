#include "recording/DlgWebcamOptions.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPushButton>

#include "capture/DlgPaintToScreen.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxMessageBox.h"
#include "widgets/UIHelper.h"
#include "platform/log/Log.h"
#include "recording/CameraManager.h"
#include "ui_DlgWebcamOptions.h"

namespace {

const char* const kModule = "DlgWebcamOptions";

// Rows of the resolution list that stand for the camera's own mode rather
// than a preset.
const int kOwnMode = -1;

// What the view area shows while no camera draws into it.
QPixmap noCameraPicture(const QSize& size, const QString& text, const QFont& font)
{
    QPixmap picture(size);
    picture.fill(QColor(0x2b, 0x31, 0x38));
    QPainter painter(&picture);
    const int icon = 32;
    QIcon(QStringLiteral(":/webcamoptions/nocamera.svg"))
        .paint(&painter, QRect((size.width() - icon) / 2, size.height() / 2 - icon, icon, icon));
    painter.setPen(QColor(0xc9, 0xce, 0xd4));
    painter.setFont(font);
    painter.drawText(QRect(0, size.height() / 2 + 4, size.width(), size.height() / 2 - 4),
                     Qt::AlignHCenter | Qt::AlignTop, text);
    return picture;
}

// The row a stored corner shows: anything but a known corner is top-left.
int cornerRow(int stored)
{
    return stored >= RP_Pos_TopRight && stored <= RP_Pos_BottomRight ? stored : int(RP_Pos_TopLeft);
}

} // namespace

DlgWebcamOptions::DlgWebcamOptions(QWidget* parent)
    : VxDialogBase(parent, Qt::WindowFlags(), false), ui(new Ui::DlgWebcamOptions)
{
    ui->setupUi(this);
    // Only the view needs a window of its own; its native window is made
    // later, so this still keeps the dialog's frames out of it.
    ui->frmWebcamView->setAttribute(Qt::WA_DontCreateNativeAncestors);
    setWindowTitle(tr("Webcam"));
    setAttribute(Qt::WA_TranslucentBackground, false);
    QFile sheet(QStringLiteral(":/webcamoptions/webcamoptions.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
    ui->lblNoCamera->setPixmap(noCameraPicture(ui->lblNoCamera->minimumSize(), tr("No camera"), font()));

    initCamera();
    showCameraState(false);
    connect(ui->cmbWebcam, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DlgWebcamOptions::onChangeDevice);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnOK, &QPushButton::clicked, this, &DlgWebcamOptions::accept);
    connect(ui->btnTakePhoto, &QPushButton::clicked, this, &DlgWebcamOptions::onSnapshot);
    postCreateDerivedDialog(true, false, nullptr);
}

DlgWebcamOptions::~DlgWebcamOptions()
{
    if (m_bViewOpen)
        CameraManager::release();
    delete ui;
}

void DlgWebcamOptions::initCamera()
{
    RecordParameter* parameters = RecordParameter::instance();
    for (int row = 0; row < ui->cmbPos->count(); ++row)
        ui->cmbPos->setItemData(row, row);
    ui->cmbPos->setCurrentIndex(cornerRow(parameters->getCameraDefaultPos()));

    const QSignalBlocker quiet(ui->cmbWebcam);
    ui->cmbWebcam->clear();
    const QStringList cameras = CameraManager::instance()->getCameras();
    ui->cmbWebcam->addItems(cameras);
    int index = parameters->getCameraIndex();
    if (index < 0 || index >= cameras.size()) {
        index = 0;
        parameters->setCameraIndex(0);
    }
    ui->cmbWebcam->setCurrentIndex(cameras.isEmpty() ? -1 : index);
}

void DlgWebcamOptions::onChangeDevice()
{
    CameraManager::release();
    m_bViewOpen = false;
    QString name = ui->cmbWebcam->currentText();
    if (!name.isEmpty()) {
        m_bViewOpen = CameraManager::instance()->openCamera(name, ui->frmWebcamView, true);
        if (!m_bViewOpen)
            Log(kModule, 2, "camera not shown: %s", name.toUtf8().constData());
    }
    showCameraState(m_bViewOpen);
    fillResolutions();
}

void DlgWebcamOptions::fillResolutions()
{
    ui->cmbResolution->clear();
    CameraManager* cameras = CameraManager::instance();
    for (int preset = CameraResolution_First; preset <= CameraResolution_Last; ++preset) {
        if (cameras->isSupportPreset(CameraResolution(preset)))
            ui->cmbResolution->addItem(QString::number(preset), preset);
    }
    // Without presets the list still tells what the camera delivers.
    if (ui->cmbResolution->count() == 0 && cameras->isCameraRunning()) {
        int width = 0;
        int height = 0;
        cameras->getVideoSize(width, height);
        if (width > 0 && height > 0)
            ui->cmbResolution->addItem(QStringLiteral("%1 x %2").arg(width).arg(height), kOwnMode);
    }
    ui->cmbResolution->setEnabled(ui->cmbResolution->count() > 1);
}

void DlgWebcamOptions::showCameraState(bool running)
{
    ui->frmWebcamView->setVisible(running);
    ui->lblNoCamera->setVisible(!running);
    ui->btnTakePhoto->setEnabled(running);
    ui->cmbWebcam->setEnabled(ui->cmbWebcam->count() > 0);
}

void DlgWebcamOptions::showEvent(QShowEvent* event)
{
    VxDialogBase::showEvent(event);
    if (event->spontaneous())
        return;
    if (RecordParameter::instance()->getCameraIndex() >= CameraManager::instance()->getCameras().size())
        RecordParameter::instance()->setCameraIndex(0);
    onChangeDevice();
}

void DlgWebcamOptions::resizeEvent(QResizeEvent* event)
{
    // The framework's resize handling is not wanted here; the camera
    // manager is made early so that the first show finds it.
    Q_UNUSED(event);
    CameraManager::instance();
}

QString DlgWebcamOptions::nextSnapshotPath() const
{
    const QString folder = Utils::getSnapshotPath();
    QDir().mkpath(folder);
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yy-MM-dd_hh-mm-ss"));
    QString path = QStringLiteral("%1/Snapshot_%2.jpg").arg(folder, stamp);
    for (int n = 1; QFileInfo::exists(path); ++n)
        path = QStringLiteral("%1/Snapshot_%2(%3).jpg").arg(folder, stamp).arg(n);
    return path;
}

void DlgWebcamOptions::onSnapshot()
{
    CameraManager* cameras = CameraManager::instance();
    if (!cameras->isCameraRunning())
        return;
    const QString path = nextSnapshotPath();
    if (!cameras->capture(path)) {
        Log(kModule, 2, "photo not taken: %s", path.toUtf8().constData());
        return;
    }
    double value = 0.0;
    const QString unit = Utils::getUtilOfSize(QFileInfo(path).size(), value);
    int width = 0;
    int height = 0;
    cameras->getVideoSize(width, height);
    SignalsTransfer::instance()->addHistoryFile(path, HistoryFile_Image,
                                                QString::asprintf("%d*%d", width, height), QString(),
                                                QStringLiteral("%1%2").arg(int(value)).arg(unit));
    showFlyOut(path);
}

void DlgWebcamOptions::showFlyOut(const QString& path)
{
    QImage image;
    if (!image.load(path))
        return;
    // The photo leaves the view and shrinks into the button. No local event
    // loop: the dialog stays free to close while it flies, and the window,
    // its child, goes with it.
    const QRect from(ui->frmWebcamView->mapToGlobal(QPoint(0, 0)), ui->frmWebcamView->size());
    const QPoint to = ui->btnTakePhoto->mapToGlobal(ui->btnTakePhoto->rect().center());
    DlgPaintToScreen::flyOut(this, image.scaled(from.size(), Qt::KeepAspectRatio, Qt::SmoothTransformation), from,
                             QRect(to, QSize(1, 1)));
}

bool DlgWebcamOptions::isChanged() const
{
    // With no camera listed there is no camera choice to compare.
    const bool cameraChanged = ui->cmbWebcam->count() > 0
                               && ui->cmbWebcam->currentIndex() != RecordParameter::instance()->getCameraIndex();
    return cameraChanged || ui->cmbPos->currentIndex() != cornerRow(RecordParameter::instance()->getCameraDefaultPos());
}

void DlgWebcamOptions::accept()
{
    RecordParameter* parameters = RecordParameter::instance();
    parameters->setCameraDefaultPos(RP_DefalutPos(ui->cmbPos->currentIndex()));
    if (ui->cmbWebcam->currentIndex() >= 0)
        parameters->setCameraIndex(ui->cmbWebcam->currentIndex());
    VxDialogBase::accept();
}

void DlgWebcamOptions::reject()
{
    VxDialogBase::reject();
}

void DlgWebcamOptions::closeEvent(QCloseEvent* event)
{
    UIHelper::closeSettingsDialog(this, event, isChanged());
}
