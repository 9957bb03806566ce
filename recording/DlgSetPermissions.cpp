#include "recording/DlgSetPermissions.h"

#include "platform/framework/VxMainWindowBase.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QProcess>
#include <QToolButton>

#include "platform/log/Log.h"
#include "core/DeviceManager.h"
#include "core/OSServiceUtils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"
#include "ui_DlgSetPermissions.h"
#include "widgets/UIHelper.h"

namespace {

const char* const kModule = "DlgSetPermissions";

// The guide pictures are compiled into the module (resources/guide.qrc).
const char* const kPictureFolder = ":/guide";

DlgSetPermissions::Starter& starterHook()
{
    static DlgSetPermissions::Starter hook;
    return hook;
}

DlgSetPermissions::Quitter& quitterHook()
{
    static DlgSetPermissions::Quitter hook;
    return hook;
}

bool startDetached(const QString& program, const QStringList& arguments)
{
    if (const auto& hook = starterHook())
        return hook(program, arguments);
    return QProcess::startDetached(program, arguments);
}

void quitEventLoop(int code)
{
    if (const auto& hook = quitterHook())
        hook(code);
    else
        QCoreApplication::exit(code);
}

// The pictures come in two densities: "name.png" and "name@2x.png".
QString pictureSuffix()
{
    const auto* guiApp = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    return guiApp && guiApp->devicePixelRatio() > 1.0 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
}

// The picture names of each kind, before the language and the suffix: the
// two steps and, for camera and microphone, the single picture.
struct PictureStems
{
    QString step1;
    QString step2;
    QString single;
};

PictureStems pictureStems(int kind)
{
    switch (kind) {
    case Privacy_Camera: return {QStringLiteral("skin_screen_"), QStringLiteral("skin_cam1_"), QStringLiteral("skin_cam_")};
    case Privacy_Microphone:
        return {QStringLiteral("skin_screen_"), QStringLiteral("skin_mic1_"), QStringLiteral("skin_mic_")};
    case Privacy_Accessibility:
        return {QStringLiteral("skin_accessibility_"), QStringLiteral("skin_accessibility1_"), QString()};
    default: return {QStringLiteral("skin_screen_"), QStringLiteral("skin_screen1_"), QString()};
    }
}

enum class GuidePage { BothSteps, SecondStep, Single };

// Camera and microphone have nothing to be asked first, so their guide is
// one step; a missing camera needs no steps at all.
GuidePage guidePage(int kind, int refusal, bool showGuide)
{
    switch (kind) {
    case Privacy_Camera: return refusal == Refusal_NoAccess ? GuidePage::SecondStep : GuidePage::Single;
    case Privacy_Microphone: return GuidePage::SecondStep;
    default: return showGuide ? GuidePage::BothSteps : GuidePage::SecondStep;
    }
}

// What the guide's labels say; an empty restart hides its link.
struct GuideTexts
{
    QString reason;
    QString step1, step1More;
    QString step2, step2More;
    QString restart;
    QString single, singleTip;
    QString noSettings; // in place of the settings link when there is none
};

GuideTexts cameraTexts(int refusal)
{
    GuideTexts t;
    if (refusal == Refusal_NoAccess) {
        t.reason = DlgSetPermissions::tr("A camera is connected, but this user may not open it. Webcam recording "
                                         "needs access to the camera.");
        t.step2 = DlgSetPermissions::tr("Add your user to the \"video\" group, which the camera's device file "
                                        "belongs to. In a terminal, run:<br/><tt>sudo usermod -aG video "
                                        "$USER</tt>");
        t.step2More = DlgSetPermissions::tr("Then log out and log in again.");
        t.restart = DlgSetPermissions::tr("A new group takes effect at your next login, not at a restart of the "
                                          "program. <a href=\"..\">Restart the program</a> when access was given "
                                          "another way, such as the device file's permissions.");
        t.noSettings = DlgSetPermissions::tr("The desktop's settings do not give access to the camera: the "
                                             "group does.");
    } else {
        t.reason = DlgSetPermissions::tr("No camera was found. Webcam recording needs a camera.");
    }
    t.single = DlgSetPermissions::tr("Connect a camera. It can be used as soon as its driver has found it (it "
                                     "then appears as /dev/video0 or a similar device file).");
    t.singleTip = DlgSetPermissions::tr("Tip: The program looks for cameras again each time you switch the "
                                        "webcam on; there is no need to restart it.");
    return t;
}

GuideTexts microphoneTexts(int refusal)
{
    GuideTexts t;
    if (refusal == Refusal_NoDevice) {
        t.reason = DlgSetPermissions::tr("The sound server has no microphone or other input, so there is nothing "
                                         "to record from.");
        t.step2 = DlgSetPermissions::tr("Connect a microphone, or choose a profile of your sound card that has "
                                        "an input in the sound settings.");
    } else {
        t.reason = DlgSetPermissions::tr("No sound server answers, so the microphone cannot be recorded. "
                                         "Recording sound needs the desktop's sound server (PipeWire or "
                                         "PulseAudio).");
        t.step2 = DlgSetPermissions::tr("Start the sound server; it normally starts with your login. In a "
                                        "terminal, run:<br/><tt>systemctl --user start pipewire-pulse</tt> "
                                        "(PipeWire) or <tt>pulseaudio --start</tt> (PulseAudio)");
    }
    t.step2More = DlgSetPermissions::tr("The program asks the sound server again each time you switch the "
                                        "microphone on; there is no need to restart it.");
    t.noSettings = DlgSetPermissions::tr("No sound settings were found on this desktop: choose and switch on the "
                                         "input with a mixer such as \"pavucontrol\" (PulseAudio Volume "
                                         "Control).");
    return t;
}

// The screen and the pointer are the X server's: they are refused only
// when it does not answer, that is outside an X11 session.
GuideTexts displayTexts(int kind)
{
    GuideTexts t;
    t.reason = kind == Privacy_Accessibility
                   ? DlgSetPermissions::tr("Following the mouse and showing its clicks need the X server, which "
                                           "does not answer.")
                   : DlgSetPermissions::tr("Screen recording and screenshots need the X server, which does not "
                                           "answer.");
    t.step1 = DlgSetPermissions::tr("The program reads the screen and the mouse through the X server of an X11 "
                                    "session.");
    t.step1More = DlgSetPermissions::tr("In a Wayland session, or without a display, it cannot see the screen.");
    t.step2 = DlgSetPermissions::tr("Log out, choose a session \"on Xorg\" (or \"X11\") on the login screen and "
                                    "log in again.");
    t.step2More = DlgSetPermissions::tr("Then start the program in that session.");
    t.noSettings = DlgSetPermissions::tr("There is nothing to switch on in the desktop's settings: an X11 "
                                         "session is all it takes.");
    return t;
}

GuideTexts guideTexts(int kind, int refusal)
{
    switch (kind) {
    case Privacy_Camera: return cameraTexts(refusal);
    case Privacy_Microphone: return microphoneTexts(refusal);
    default: return displayTexts(kind);
    }
}

} // namespace

DlgSetPermissions::DlgSetPermissions(QWidget* parent)
    : VxDialogBase(parent, Qt::WindowFlags(), false)
    , m_pUi(new Ui::DlgSetPermissions)
    , m_strPicPath(QString::fromLatin1(kPictureFolder))
{
    m_pUi->setupUi(this);
    for (QLabel* link : {m_pUi->lblUrlReStart, m_pUi->lblUrlOpenSet}) {
        // The links act on the mouse release seen by eventFilter; the label
        // itself opens nothing.
        link->setOpenExternalLinks(false);
        link->installEventFilter(this);
    }
    // The steps name commands to run: they can be copied from the guide.
    m_pUi->lblText3->setTextInteractionFlags(Qt::TextSelectableByMouse);
    const QPixmap titleIcon(QString::fromLatin1(kPictureFolder) + QStringLiteral("/guide_title") + pictureSuffix());
    for (QLabel* icon : {m_pUi->lblTittleIcon, m_pUi->lblTittleIcon_R}) {
        icon->setPixmap(titleIcon);
        icon->setScaledContents(true);
    }
    ensurePolished();
    VxDialogBase::setWindowFlags(windowFlags());
    setWindowTitle(VxProductInfo::instance()->productName(QString()));
    connect(m_pUi->btnFinish, &QToolButton::clicked, this, &QDialog::reject);
    postCreateDerivedDialog(true, false, nullptr);
}

DlgSetPermissions::~DlgSetPermissions()
{
    delete m_pUi;
}

void DlgSetPermissions::setMainWindow(VxMainWindowBase* window)
{
    m_pMainWindow = window;
}

void DlgSetPermissions::setshowGuide(Privacy_Setting kind, bool showGuide)
{
    m_nKind = kind;
    // Nothing on this desktop asks the user first: what the guide says
    // follows from what is missing, which the engine tells.
    m_nRefusal = DeviceManager::instance()->permissionRefusal(kind);
    const GuidePage page = guidePage(kind, m_nRefusal, showGuide);
    m_bShowGuide = page == GuidePage::BothSteps;
    m_pUi->frmSystem->setVisible(m_bShowGuide);
    m_pUi->stackedWidget->setCurrentWidget(page == GuidePage::Single ? m_pUi->page_2 : m_pUi->page);
    if (!m_bShowGuide) {
        m_pUi->frmIcon2->hide();
        m_pUi->frmIcon2_R->hide();
    }
    fillTexts();
    adjustLanuage();
}

void DlgSetPermissions::fillTexts()
{
    const GuideTexts texts = guideTexts(m_nKind, m_nRefusal);
    m_pUi->lblTittleTips->setText(texts.reason);
    m_pUi->lblText1->setText(texts.step1);
    m_pUi->lblText2->setText(texts.step1More);
    m_pUi->lblText3->setText(texts.step2);
    m_pUi->lblText4->setText(texts.step2More);
    m_pUi->lblText5->setText(texts.single);
    m_pUi->lblText6->setText(texts.singleTip);
    m_pUi->lblUrlReStart->setText(texts.restart);
    m_pUi->lblUrlReStart->setVisible(!texts.restart.isEmpty());
    m_strNoSettings = texts.noSettings;
    // The link is only offered when this desktop has the program to open.
    showSettingsLink(!OSServiceUtils::settingsCommand(static_cast<Privacy_Setting>(m_nKind)).isEmpty());
}

void DlgSetPermissions::showSettingsLink(bool available)
{
    m_bSettingsLink = available;
    m_pUi->lblUrlOpenSet->setText(available ? tr("<a href=\"..\">Open the sound settings</a>") : m_strNoSettings);
    m_pUi->lblUrlOpenSet->setVisible(!m_pUi->lblUrlOpenSet->text().isEmpty());
}

void DlgSetPermissions::adjustLanuage()
{
    const QString language = VxResourceMgr::instance()->currentLanguage();
    const bool rightToLeft = language == QLatin1String("ar") || language == QLatin1String("ur");
    applyDirection(rightToLeft);
    loadPictures(language, rightToLeft);
}

void DlgSetPermissions::applyDirection(bool rightToLeft)
{
    // The rows hold a mirrored copy of each number, icon and picture, so
    // they keep one physical order whatever the application's direction;
    // only the texts follow the language.
    const Qt::LayoutDirection textDirection = rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
    setLayoutDirection(textDirection);
    for (QWidget* row : {static_cast<QWidget*>(m_pUi->frmTittle), static_cast<QWidget*>(m_pUi->frmSystem),
                         static_cast<QWidget*>(m_pUi->frmSystem3)})
        row->setLayoutDirection(Qt::LeftToRight);
    for (QWidget* text : {static_cast<QWidget*>(m_pUi->lblTittleTips), static_cast<QWidget*>(m_pUi->frmSysText),
                          static_cast<QWidget*>(m_pUi->frmAppText)})
        text->setLayoutDirection(textDirection);

    // A direction switch must bring back what the other direction hid; the
    // step-2 number stays hidden when it is the only step.
    m_pUi->frmIcon1->setVisible(!rightToLeft);
    m_pUi->frmIcon1_R->setVisible(rightToLeft);
    m_pUi->frmIcon2->setVisible(!rightToLeft && m_bShowGuide);
    m_pUi->frmIcon2_R->setVisible(rightToLeft && m_bShowGuide);
    m_pUi->lblTittleIcon->setVisible(!rightToLeft);
    m_pUi->lblTittleIcon_R->setVisible(rightToLeft);
    m_pUi->lblSysPic1->setVisible(rightToLeft);
    m_pUi->lblSysPic2->setVisible(rightToLeft);
    m_pUi->lblSysPic1_R->setVisible(!rightToLeft);
    m_pUi->lblSysPic2_R->setVisible(!rightToLeft);
}

void DlgSetPermissions::loadPictures(const QString& language, bool rightToLeft)
{
    const QString prefix = VxProductInfo::instance()->brand() == QLatin1String("Halvind")
                               ? QStringLiteral("/halvind_")
                               : QStringLiteral("/");
    // Languages without pictures of their own show the English ones.
    const QString pictureLanguage =
        QFile::exists(m_strPicPath + prefix + QStringLiteral("skin_screen_") + language + QStringLiteral(".png"))
            ? language
            : QStringLiteral("en");
    const QString suffix = pictureSuffix();
    const PictureStems stems = pictureStems(m_nKind);
    auto path = [&](const QString& stem) {
        return stem.isEmpty() ? QString() : m_strPicPath + prefix + stem + pictureLanguage + suffix;
    };
    const QString step1Path = path(stems.step1);
    const QString step2Path = path(stems.step2);
    const QString singlePath = path(stems.single);

    const QImage step2Image(step2Path);
    Log(kModule, LogLevel::Info, "image filepath: %s,  size = %d*%d", qUtf8Printable(step2Path), step2Image.width(),
        step2Image.height());
    QLabel* pic1 = rightToLeft ? m_pUi->lblSysPic1 : m_pUi->lblSysPic1_R;
    QLabel* pic2 = rightToLeft ? m_pUi->lblSysPic2 : m_pUi->lblSysPic2_R;
    pic1->setPixmap(step1Path.isEmpty() ? QPixmap() : QPixmap::fromImage(QImage(step1Path)));
    pic2->setPixmap(QPixmap::fromImage(step2Image));
    for (QLabel* label : {pic1, pic2, m_pUi->lblSysPic3}) {
        label->setScaledContents(true);
        label->show();
    }
    m_pUi->lblSysPic3->setPixmap(singlePath.isEmpty() ? QPixmap() : QPixmap::fromImage(QImage(singlePath)));
}

void DlgSetPermissions::setStarter(const Starter& starter)
{
    starterHook() = starter;
}

void DlgSetPermissions::setQuitter(const Quitter& quitter)
{
    quitterHook() = quitter;
}

QStringList DlgSetPermissions::restartCommand(qint64 pid, const QString& program, const QStringList& arguments)
{
    // The new instance may only start once this one has let go of the
    // single-instance segment, that is when the process has ended. The
    // script is fixed text: pid, program and arguments reach it as
    // positional parameters, never spliced into it. The wait is bounded so
    // that a process left as an unreaped zombie cannot hold it forever.
    static const QString script = QStringLiteral(
        "i=0; while [ \"$i\" -lt 600 ] && kill -0 \"$1\" 2>/dev/null; do sleep 0.1; i=$((i+1)); done; "
        "shift; exec \"$@\"");
    return QStringList{QStringLiteral("/bin/sh"), QStringLiteral("-c"), script, QStringLiteral("sh"),
                       QString::number(pid), program}
           + arguments;
}

void DlgSetPermissions::openSettings()
{
    // A program that vanished or would not start leaves the words instead.
    if (m_bSettingsLink && !OSServiceUtils::openSetting(static_cast<Privacy_Setting>(m_nKind)))
        showSettingsLink(false);
}

void DlgSetPermissions::restartProgram()
{
    // The launcher is this process's executable; it loads the module again.
    const QStringList command =
        restartCommand(QCoreApplication::applicationPid(), QCoreApplication::applicationFilePath(),
                       QCoreApplication::arguments().mid(1));
    if (!startDetached(command.first(), command.mid(1))) {
        // Quitting now would leave the user with no program at all.
        Log(kModule, LogLevel::Error, "restart failed: %s could not be started", qUtf8Printable(command.first()));
        return;
    }
    accept();
    VxSettings::instance()->setApplicationParam(QStringLiteral("restart"), true);
    quitEventLoop(0);
}

bool DlgSetPermissions::isLinkClick(QLabel* link, QEvent* event) const
{
    // A link follows the primary button, released over the link.
    const auto* mouse = static_cast<QMouseEvent*>(event);
    return mouse->button() == Qt::LeftButton && link->rect().contains(mouse->pos());
}

bool DlgSetPermissions::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease) {
        if (watched == m_pUi->lblUrlOpenSet && isLinkClick(m_pUi->lblUrlOpenSet, event))
            openSettings();
        else if (watched == m_pUi->lblUrlReStart && m_pUi->lblUrlReStart->isVisibleTo(this)
                 && isLinkClick(m_pUi->lblUrlReStart, event))
            restartProgram();
    }
    return QDialog::eventFilter(watched, event);
}

void DlgSetPermissions::closeEvent(QCloseEvent* event)
{
    VxDialogBase::closeEvent(event);
}

void DlgSetPermissions::showEvent(QShowEvent* event)
{
    UIHelper::fitWrappedHeight(this);
    VxDialogBase::showEvent(event);
    if (!m_pMainWindow)
        return;
    const QRect frame = m_pMainWindow->geometry();
    const QPoint centre((frame.left() + frame.right()) / 2, (frame.top() + frame.bottom()) / 2);
    move(centre.x() - width() / 2, centre.y() - height() / 2);
}

void DlgSetPermissions::changeEvent(QEvent* event)
{
    VxDialogBase::changeEvent(event);
    if (event->type() == QEvent::LanguageChange) {
        m_pUi->retranslateUi(this);
        // The texts that depend on the kind are set by code, not by the
        // form: without this they would stay in the old language.
        fillTexts();
        adjustLanuage();
        if (isVisible())
            UIHelper::fitWrappedHeight(this);
    }
}
