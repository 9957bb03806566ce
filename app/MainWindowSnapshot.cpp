#include "app/MainWindow.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QRegularExpression>
#include <QFutureWatcher>
#include <QMessageBox>
#include <QSaveFile>
#include <QtConcurrent/QtConcurrentRun>


#include "app/MainWindowBase.h"
#include "app/MainWindowShared.h"
#include "capture/DlgPaintToScreen.h"
#include "capture/DlgSnapshot.h"
#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxSettings.h"
#include "platform/log/Log.h"
#include "recording/ScreenRegion.h"
#include "recording/VideoRecCtlWdg.h"
#include "ui_MainWindow.h"

// Screenshots from the home window: the editor's life, the save-as
// question and the file it leaves, and pictures pinned to the screen.

namespace {

const char* const kLogModule = homewindow::logModule();

MainWindow::SaveFileChooser& saveFileChooser()
{
    static MainWindow::SaveFileChooser chooser;
    return chooser;
}

// Qt's writer name for a file suffix; empty when it writes no such format.
QByteArray writerFormat(const QString& suffix)
{
    QByteArray format = suffix.toLower().toLatin1();
    if (format == "jpg")
        format = "jpeg";
    else if (format == "tif")
        format = "tiff";
    return QImageWriter::supportedImageFormats().contains(format) ? format : QByteArray();
}

QString normalisedFormat(const QString& suffix)
{
    const QString lower = suffix.toLower();
    if (lower == QLatin1String("jpg"))
        return QStringLiteral("jpeg");
    if (lower == QLatin1String("tif"))
        return QStringLiteral("tiff");
    return lower;
}

// A name typed without a suffix takes the chosen filter's first one, so
// that the name says what the file holds.
QString withFilterSuffix(const QString& chosen, const QString& filter, const QString& tempPath)
{
    if (!QFileInfo(chosen).suffix().isEmpty())
        return chosen;
    const QRegularExpressionMatch match = QRegularExpression(QStringLiteral("\\*\\.(\\w+)")).match(filter);
    return chosen + QLatin1Char('.') + (match.hasMatch() ? match.captured(1) : QFileInfo(tempPath).suffix());
}

// Only formats Qt can write are offered: a choice that can never be saved
// is no choice.
QString writableFilters()
{
    struct Kind
    {
        const char* name;
        const char* patterns;
        const char* format;
    };
    static const Kind kinds[] = {{"PNG", "*.png", "png"},
                                 {"JPEG", "*.jpg *.jpeg", "jpeg"},
                                 {"BMP", "*.bmp", "bmp"},
                                 {"GIF", "*.gif", "gif"},
                                 {"TIFF", "*.tiff", "tiff"}};
    QStringList filters;
    QStringList all;
    for (const Kind& kind : kinds) {
        if (!QImageWriter::supportedImageFormats().contains(kind.format))
            continue;
        filters << QStringLiteral("%1 (%2)").arg(QLatin1String(kind.name), QLatin1String(kind.patterns));
        all << QString::fromLatin1(kind.patterns).section(QLatin1Char(' '), -1);
    }
    filters << MainWindow::tr("Images (%1)").arg(all.join(QLatin1Char(' ')));
    return filters.join(QStringLiteral(";;"));
}

} // namespace

void MainWindow::setSaveFileChooser(const SaveFileChooser& chooser)
{
    saveFileChooser() = chooser;
}

DlgSnapshot* MainWindow::snapshotEditor() const
{
    return m_pDlgSnapshot.data();
}

VideoRecCtlWdg* MainWindow::videoRecCtl() const
{
    return m_pVideoRecCtl.data();
}

void MainWindow::onBtnSnapshot()
{
    if (m_pDlgSnapshot)
        return;
    const bool granted = grantedAfterTips(Privacy_ScreenCapture, &DeviceManager::isPermissionScreenCapture);
    VxSettings* settings = VxSettings::instance();
    if (!granted || settings->applicationParam("restart", false).toBool()) {
        settings->setApplicationParam("restart", false);
        return;
    }
    if (RecordParameter::instance()->isHideMainWhenScreenshot()) {
        Log(kLogModule, LogLevel::Info, "hide mainwindow when snapShot");
        ScreenRegion::instance()->hideRegionBox();
        hideFrame();
    }
    closeCamera();
    hidePopupDialog();

    m_pDlgSnapshot = new DlgSnapshot(nullptr, false);
    connect(m_pDlgSnapshot, &QDialog::finished, this, &MainWindow::releaseSnapshot);
    connect(m_pDlgSnapshot, &DlgSnapshot::paintToScreen, this, &MainWindow::onPaintToScreen);
    connect(m_pDlgSnapshot, &DlgSnapshot::pictureSave, this, &MainWindow::onSaveSnapPic);
    m_pDlgSnapshot->show();
    m_pDlgSnapshot->hide();
    m_pDlgSnapshot->createImageCapture();
}

void MainWindow::releaseSnapshot()
{
    // An editor whose picture was saved has been let go already.
    if (sender() && sender() != m_pDlgSnapshot.data())
        return;
    onShowRegionBox();
    if (m_pMainWindowBase && m_pMainWindowBase->isHidden())
        m_pMainWindowBase->show();
    // The editor is still inside its finished(int).
    if (m_pDlgSnapshot)
        m_pDlgSnapshot->deleteLater();
    m_pDlgSnapshot = nullptr;
}

QString MainWindow::askSnapshotTarget(QString proposed, QString* filter)
{
    const QString filters = writableFilters();
    for (;;) {
        Log(kLogModule, LogLevel::Info, "show save dialog");
        QString chosen;
        if (saveFileChooser())
            chosen = saveFileChooser()(this, tr("Save as..."), proposed, filters, filter);
        else
            chosen = QFileDialog::getSaveFileName(this, tr("Save as..."), proposed, filters, filter);
        // A cancel is an answer whatever folder the program runs in.
        if (chosen.isEmpty() || chosen == QLatin1String("."))
            return QString();
        const QString folder = QFileInfo(chosen).absolutePath();
        if (VxFileUtils::isFolderPathWritable(folder))
            return chosen;
        Utils::showMacWindowMessage(MsgType_Information, nullptr,
                                    tr("\"%1\" is not writable, please select another one.").arg(folder),
                                    MsgButton_Ok);
        proposed = chosen;
    }
}

void MainWindow::dropSnapshotEditor()
{
    onShowRegionBox();
    if (m_pMainWindowBase && m_pMainWindowBase->isHidden())
        m_pMainWindowBase->show();
    // This runs inside the editor's own signal.
    if (m_pDlgSnapshot) {
        m_pDlgSnapshot->hide();
        m_pDlgSnapshot->deleteLater();
    }
    m_pDlgSnapshot = nullptr;
}

bool MainWindow::saveSnapshotAs(const QString& tempPath, const QString& target, const QImage& image)
{
    if (image.isNull())
        return false;
    const QString tempFormat = QString::fromLatin1(QImageReader::imageFormat(tempPath));
    if (normalisedFormat(QFileInfo(target).suffix()) == normalisedFormat(tempFormat))
        return OSServiceUtils::moveFile(tempPath, target);
    // The content follows the suffix the user chose. A failed write leaves
    // a file the user chose to replace as it was.
    const QByteArray format = writerFormat(QFileInfo(target).suffix());
    QSaveFile out(target);
    const bool saved = !format.isEmpty() && out.open(QIODevice::WriteOnly) && image.save(&out, format.constData())
                       && out.commit();
    if (saved)
        QFile::remove(tempPath);
    return saved;
}

void MainWindow::onSaveSnapPic(QString tempPath, QString filter)
{
    QString proposed = Utils::getSnapshotPath() + QLatin1Char('/') + QFileInfo(tempPath).fileName();
    proposed.replace(QLatin1Char('\\'), QLatin1Char('/'));
    askAndSaveSnapshot(tempPath, proposed, filter, true);
}

void MainWindow::askAndSaveSnapshot(const QString& tempPath, QString proposed, QString filter, bool editorOpen)
{
    for (;;) {
        const QString chosen = askSnapshotTarget(proposed, &filter);
        if (editorOpen) {
            editorOpen = false;
            dropSnapshotEditor();
        }
        if (chosen.isEmpty()) {
            // The picture was handed over to be saved or dropped: dropped.
            QFile::remove(tempPath);
            return;
        }
        const QImage image(tempPath);
        const QString target = withFilterSuffix(chosen, filter, tempPath);
        // The dialog asked about the name typed, not the one with the
        // suffix added: ask about that one before replacing it.
        if (target != chosen && QFileInfo::exists(target)
            && VxMessageBox::question(nullptr, homewindow::productName(),
                                      tr("\"%1\" already exists. Do you want to replace it?").arg(target),
                                      QMessageBox::Yes | QMessageBox::No, QMessageBox::No, QMessageBox::No)
                   != QMessageBox::Yes) {
            proposed = target;
            continue;
        }
        saveInBackground(tempPath, target, image, filter);
        return;
    }
}

// A slow or hung target folder must not freeze the window: the move or
// conversion runs on a pool thread while events keep flowing.
void MainWindow::saveInBackground(const QString& tempPath, const QString& target, const QImage& image,
                                  const QString& filter)
{
    // Owned by this window: its end never reaches a window that went. A
    // save still running at quit is finished by the pool before the process
    // ends.
    auto* watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, tempPath, target, image, filter] {
        watcher->deleteLater();
        snapshotSaved(tempPath, target, image, filter, watcher->result());
    });
    watcher->setFuture(QtConcurrent::run(&MainWindow::saveSnapshotAs, tempPath, target, image));
}

void MainWindow::snapshotSaved(const QString& tempPath, const QString& target, const QImage& image,
                               const QString& filter, bool saved)
{
    if (saved) {
        Utils::setSnapshotPath(QFileInfo(target).absolutePath());
        double value = 0.0;
        const QString unit = Utils::getUtilOfSize(QFileInfo(target).size(), value);
        const QString size = QStringLiteral("%1%2").arg(qint64(value)).arg(unit);
        const QString resolution = QStringLiteral("%1*%2").arg(image.width()).arg(image.height());
        SignalsTransfer::instance()->addHistoryFile(target, 0, resolution, QString(), size);
        return;
    }
    Utils::showMacWindowMessage(MsgType_Information, nullptr,
                                tr("File exported to \"%1\" failed! Please select another one.").arg(target),
                                MsgButton_Ok);
    askAndSaveSnapshot(tempPath, target, filter, false);
}

void MainWindow::onPaintToScreen(QImage image)
{
    auto* pinned = new DlgPaintToScreen(nullptr);
    pinned->setImg(image);
    connect(pinned, &QDialog::finished, this, &MainWindow::releasePaintToScreen);
    pinned->show();
}

void MainWindow::releasePaintToScreen()
{
    if (QObject* pinned = sender())
        pinned->deleteLater();
}
