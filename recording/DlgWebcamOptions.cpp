#include "recording/DlgWebcamOptions.h"

#include <QApplication>
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
#include "recording/CameraDlg.h"
#include "recording/CameraManager.h"
#include "ui_DlgWebcamOptions.h"

namespace {

const char* const kModule = "DlgWebcamOptions";

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
    connect(ui->cmbResolution, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &DlgWebcamOptions::onChangeResolution);
    connect(ui->btnCancel, &QPushButton::clicked, this, &QWidget::close);
    connect(ui->btnOK, &QPushButton::clicked, this, &DlgWebcamOptions::accept);
    connect(ui->btnTakePhoto, &QPushButton::clicked, this, &DlgWebcamOptions::onSnapshot);
    postCreateDerivedDialog(true, false, nullptr);
}

DlgWebcamOptions::~DlgWebcamOptions()
{
    if (m_pLender)
        CameraManager::instance()->openCamera(m_pLender.data(), m_bLenderOnlyCamera);
    else if (m_bViewOpen)
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
    CameraManager* manager = CameraManager::instance();
    const QStringList cameras = manager->getCameras();
    ui->cmbWebcam->addItems(cameras);
    // The stored choice is the camera's name: its row moves when cameras
    // come and go.
    const int index = qMax(0, cameras.indexOf(manager->chosenCamera()));
    parameters->setCameraIndex(index);
    m_storedMode = manager->chosenMode();
    ui->cmbWebcam->setCurrentIndex(cameras.isEmpty() ? -1 : index);
}

void DlgWebcamOptions::onChangeDevice()
{
    CameraManager* manager = CameraManager::instance();
    const RecordParameter* parameters = RecordParameter::instance();
    if (parameters->m_bRecording || parameters->m_bPreviewing) {
        // The webcam window's recording needs its camera more than the view.
        showCameraState(false);
        fillResolutions();
        return;
    }
    if (!m_bViewOpen && !m_pLender && manager->cameraView() && manager->cameraView() != ui->frmWebcamView) {
        m_pLender = manager->cameraView();
        m_bLenderOnlyCamera = manager->isOnlyCamera();
    }
    m_bViewOpen = false;
    QString name = ui->cmbWebcam->currentText();
    if (name.isEmpty()) {
        CameraManager::release();
    } else {
        m_bViewOpen = CameraManager::instance()->openCamera(name, ui->frmWebcamView, true);
        if (!m_bViewOpen)
            Log(kModule, LogLevel::Error, "camera not shown: %s", name.toUtf8().constData());
    }
    showCameraState(m_bViewOpen);
    fillResolutions();
}

void DlgWebcamOptions::fillResolutions()
{
    const QSignalBlocker quiet(ui->cmbResolution);
    ui->cmbResolution->clear();
    CameraManager* cameras = CameraManager::instance();
    const QVector<QSize> modes = m_bViewOpen ? cameras->getModes() : QVector<QSize>();
    for (int preset = 0; preset < modes.size(); ++preset) {
        if (cameras->isSupportPreset(CameraResolution(preset)))
            ui->cmbResolution->addItem(QStringLiteral("%1 x %2").arg(modes[preset].width()).arg(modes[preset].height()),
                                       modes[preset]);
    }
    int width = 0;
    int height = 0;
    if (m_bViewOpen)
        cameras->getVideoSize(width, height);
    // A camera that tells no modes still tells what it delivers.
    if (ui->cmbResolution->count() == 0 && width > 0 && height > 0)
        ui->cmbResolution->addItem(QStringLiteral("%1 x %2").arg(width).arg(height), QSize(width, height));
    ui->cmbResolution->setCurrentIndex(qMax(0, ui->cmbResolution->findData(QSize(width, height))));
    ui->cmbResolution->setEnabled(ui->cmbResolution->count() > 1);
}

void DlgWebcamOptions::onChangeResolution(int row)
{
    if (!m_bViewOpen || row < 0)
        return;
    m_bViewOpen = CameraManager::instance()->setPreset(CameraResolution(row));
    showCameraState(m_bViewOpen);
    if (!m_bViewOpen)
        Log(kModule, LogLevel::Error, "camera not shown in mode %d", row);
}

QSize DlgWebcamOptions::chosenMode() const
{
    return ui->cmbResolution->currentData().toSize();
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
    // The stored mode, when the camera offers it.
    const int stored = ui->cmbWebcam->currentText() == CameraManager::instance()->chosenCamera()
                           ? ui->cmbResolution->findData(m_storedMode)
                           : -1;
    if (stored >= 0)
        ui->cmbResolution->setCurrentIndex(stored);
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
        Log(kModule, LogLevel::Error, "photo not taken: %s", path.toUtf8().constData());
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
    // A mode counts once it was stored: the camera's own choice is no change.
    const bool modeChanged = m_storedMode.isValid() && chosenMode().isValid() && chosenMode() != m_storedMode;
    return cameraChanged || modeChanged
           || ui->cmbPos->currentIndex() != cornerRow(RecordParameter::instance()->getCameraDefaultPos());
}

void DlgWebcamOptions::accept()
{
    RecordParameter* parameters = RecordParameter::instance();
    parameters->setCameraDefaultPos(RP_DefalutPos(ui->cmbPos->currentIndex()));
    if (ui->cmbWebcam->currentIndex() >= 0) {
        parameters->setCameraIndex(ui->cmbWebcam->currentIndex());
        parameters->setCameraResolution(CameraResolution(qMax(0, ui->cmbResolution->currentIndex())));
        CameraManager::instance()->setChosenCamera(ui->cmbWebcam->currentText(), chosenMode());
    }
    // An overlay on the screen moves to the new corner at once.
    for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* overlay = qobject_cast<CameraDlg*>(window);
        if (overlay && !overlay->isRecorder() && overlay->isVisible())
            overlay->moveToDefaultPos();
    }
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
