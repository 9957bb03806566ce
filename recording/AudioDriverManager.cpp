#include "recording/AudioDriverManager.h"

#include <QEvent>
#include <QTimer>

#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "core/SignalsTransfer.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/log/Log.h"
#include "ui_AudioDriverManager.h"
#include "widgets/UIHelper.h"

namespace {

const char* const kModule = "AudioDriverManager";

// The scripts read the name the virtual output should carry from here;
// without it they fall back to a name of their own.
const char* const kNameVariable = "SR_AUDIO_PLUGIN_NAME";

// A wait status for exit code 1: the script found nothing to change.
constexpr int kNothingChanged = 0x100;
// A script may leave the sound server a moment to settle before the
// source shows up.
constexpr int kInstallSettleMs = 8000;
constexpr int kUninstallSettleMs = 1500;

bool pluginWorks()
{
    return DeviceManager::instance()->checkVirtualAudioDriver();
}

} // namespace

AudioDriverManager::AudioDriverManager(QWidget* parent, int mode)
    : VxDialogBase(parent, Qt::WindowFlags(), false)
    , m_pUi(new Ui::AudioDriverManager)
{
    m_pUi->setupUi(this);
    VxDialogBase::setWindowFlags(windowFlags() & Qt::WindowCloseButtonHint);
    setWindowTitle(VxProductInfo::instance()->productName(""));
    m_pUi->lblImage->setPixmap(QPixmap(QStringLiteral(":/audioplugin/plugin.svg")));

    m_strTmpPath = Utils::getRecorderTmpRoot();
    m_pUi->lblName->setText(Utils::getAudioDriverName());
    m_pUi->lbl8->setText(tr("Installation failed! Try to reinstall the audio plug-in."));
    checkStatus();

    connect(m_pUi->btnInstall, &QToolButton::clicked, this, &AudioDriverManager::installAudioDriver);
    m_pUi->lblUninstall->installEventFilter(this);
    connect(m_pUi->btnCancel, &QToolButton::clicked, this, &QDialog::accept);

    if (mode != 0) {
        m_pUi->stackedWidget->setCurrentWidget(m_pUi->pageChecking);
        m_pUi->btnCancel->setText(tr("OK"));
    } else {
        m_pUi->stackedWidget->setCurrentWidget(m_pUi->pageWarning);
    }
    ensurePolished();
    postCreateDerivedDialog(true, false, nullptr);
}

AudioDriverManager::~AudioDriverManager()
{
    delete m_pUi;
}

void AudioDriverManager::checkStatus()
{
    const bool ok = pluginWorks();
    m_pUi->lblStatus->setText(ok ? tr("Working") : tr("Invalid"));
    m_pUi->lblUninstall->setVisible(ok);
    m_pUi->btnInstall->setVisible(!ok);
    if (!ok)
        m_pUi->lblWarning->hide();
    m_pUi->btnCancel->show();
}

void AudioDriverManager::installAudioDriver()
{
    m_pUi->stackedWidget->setCurrentWidget(m_pUi->pageChecking);
    m_pUi->lblStatus->setText(tr("Installing..."));
    m_pUi->btnInstall->hide();
    m_pUi->btnCancel->hide();

    qputenv(kNameVariable, Utils::getAudioDriverName().toUtf8());
    const int status = OSServiceUtils::UserExecute(m_strTmpPath, 1, true);
    if (status == kNothingChanged) {
        checkStatus();
        return;
    }
    QTimer::singleShot(kInstallSettleMs, this, &AudioDriverManager::checkAfterInstall);
}

void AudioDriverManager::checkAfterInstall()
{
    Log(kModule, LogLevel::Info, "waiting 10s");
    if (pluginWorks()) {
        m_pUi->lblStatus->setText(tr("Working"));
        m_pUi->btnCancel->setText(tr("OK"));
    } else {
        m_pUi->stackedWidget->setCurrentWidget(m_pUi->pageError);
        m_pUi->btnInstall->setText(tr("Re-Install"));
        m_pUi->btnInstall->show();
    }
    m_pUi->btnCancel->show();
}

void AudioDriverManager::uninstallAudioDriver()
{
    m_pUi->lblStatus->setText(tr("Uninstalling..."));
    m_pUi->lblUninstall->hide();
    m_pUi->btnCancel->hide();

    OSServiceUtils::UserExecute(m_strTmpPath, 0, true);
    if (!pluginWorks())
        emit SignalsTransfer::instance()->uninstallAudioDeiver();
    QTimer::singleShot(kUninstallSettleMs, this, &AudioDriverManager::checkStatus);
}

void AudioDriverManager::showEvent(QShowEvent* event)
{
    UIHelper::fitWrappedHeight(this);
    VxDialogBase::showEvent(event);
}

bool AudioDriverManager::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pUi->lblUninstall && event->type() == QEvent::MouseButtonRelease)
        uninstallAudioDriver();
    return QDialog::eventFilter(watched, event);
}
