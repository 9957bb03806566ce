#include "recording/DlgSetPermissions.h"

#include "platform/framework/VxMainWindowBase.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLayout>
#include <QMouseEvent>
#include <QPixmap>
#include <QProcess>
#include <QStandardPaths>
#include <QToolButton>

#include "platform/log/Log.h"
#include "core/OSServiceUtils.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"
#include "ui_DlgSetPermissions.h"

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

bool isGnomeDesktop()
{
    // XDG_CURRENT_DESKTOP is a colon-separated list, e.g. "GNOME-Classic:GNOME".
    const QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'));
    for (const QString& desktop : desktops) {
        if (desktop.compare(QLatin1String("GNOME"), Qt::CaseInsensitive) == 0
            || desktop.compare(QLatin1String("Unity"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
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
    m_bShowGuide = showGuide;
    if (showGuide) {
        // Never asked: the system's own prompt comes first. Screen and
        // accessibility prompts lead to the settings, so both steps show;
        // camera and microphone prompts grant access themselves.
        const bool bothSteps = kind == Privacy_ScreenCapture || kind == Privacy_Accessibility;
        m_pUi->frmSystem->setVisible(bothSteps);
        m_pUi->stackedWidget->setCurrentWidget(bothSteps ? m_pUi->page : m_pUi->page_2);
    } else {
        m_pUi->frmSystem->hide();
        m_pUi->frmIcon2->hide();
        m_pUi->frmIcon2_R->hide();
        m_pUi->stackedWidget->setCurrentWidget(m_pUi->page);
    }
    fillTexts();
    adjustLanuage();
}

void DlgSetPermissions::fillTexts()
{
    QString reason;
    QString name;      // the pane's entry, for lblText3
    QString lowerName; // the prompt's subject, for lblText5
    switch (m_nKind) {
    case Privacy_ScreenCapture:
        reason = tr("Screen permissions are required for screen recording and screenshot. Please follow the "
                    "instructions below to grant access to screen.");
        name = tr("Screen Recording");
        lowerName = tr("screen");
        break;
    case Privacy_Camera:
        reason = tr("Camera permissions are required for Webcam recording. Please follow the instructions "
                    "below to grant access to camera.");
        name = tr("Camera");
        lowerName = tr("camera");
        break;
    case Privacy_Accessibility:
        reason = tr("Accessibility permissions are required for screen recording with the mouse. Please follow "
                    "the instructions below to grant Accessibility.");
        lowerName = tr("accessibility");
        break;
    default:
        reason = tr("Microphone permissions are required for recording. Please follow the instructions below "
                    "to grant access to microphone.");
        name = tr("Microphone");
        lowerName = tr("microphone");
        break;
    }

    if (m_nKind == Privacy_Accessibility) {
        // An accessibility grant takes effect without a restart.
        m_pUi->lblUrlReStart->hide();
        m_pUi->lblText3->setText(tr("In Security & Privacy preferences, switch to \"Accessibility\" and check our "
                                    "program for authorization."));
        m_pUi->lblText4->setText(tr("If you didn't see our program in the list, please switch to other settings "
                                    "and switch back to refresh the interface. Then our program will show up in "
                                    "the list."));
    } else {
        m_pUi->lblUrlReStart->show();
        m_pUi->lblText3->setText(tr("In Security & Privacy preferences, switch to the \"%1\" and check our program "
                                    "for authorization. Then the system will prompt to restart the program. Please "
                                    "click Quit Now button to restart program permissions.")
                                     .arg(name));
        m_pUi->lblText4->setText(tr("If you didn't see our program in the list, please switch to other settings "
                                    "and switch back to refresh the interface. Then our program will show up in "
                                    "the list.<br/>If you click on the &quot;Later&quot; button or no prompt "
                                    "windows shows up,"));
    }
    m_pUi->lblText5->setText(
        tr("In the pop-up %1 prompt window, click the \"OK\" button to grant access.").arg(lowerName));
    m_pUi->lblTittleTips->setText(reason);
    m_pUi->lblUrlReStart->setText(
        tr("<a href=\"..\">You can click here to complete the program restart permissions</a>"));
    m_pUi->lblUrlOpenSet->setText(tr("<a href=\"..\">Open Security & Privacy window again</a>"));
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
    Log(kModule, 1, "image filepath: %s,  size = %d*%d", qUtf8Printable(step2Path), step2Image.width(),
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

QStringList DlgSetPermissions::settingsCommand(Privacy_Setting kind)
{
    // The desktop has no privacy panes; these are the settings that decide
    // whether the device works at all.
    struct Tool
    {
        const char* program;
        QStringList arguments;
        bool gnomeOnly; // gnome-control-center refuses other desktops
    };
    QVector<Tool> tools;
    switch (kind) {
    case Privacy_Camera:
        tools = {{"gnome-control-center", {QStringLiteral("camera")}, true}};
        break;
    case Privacy_Microphone:
        tools = {{"gnome-control-center", {QStringLiteral("sound")}, true},
                 {"pavucontrol", {QStringLiteral("--tab=4")}, false}}; // its "Input Devices" tab
        break;
    default:
        // Screen capture and input monitoring need no grant under X11.
        break;
    }
    const bool gnome = isGnomeDesktop();
    for (const Tool& tool : tools) {
        if (tool.gnomeOnly && !gnome)
            continue;
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(tool.program));
        if (!path.isEmpty())
            return QStringList{path} + tool.arguments;
    }
    return {};
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
    const auto kind = static_cast<Privacy_Setting>(m_nKind);
    const QStringList command = settingsCommand(kind);
    if (command.isEmpty()) {
        OSServiceUtils::openSetting(kind);
        return;
    }
    if (!startDetached(command.first(), command.mid(1)))
        Log(kModule, 2, "cannot start the settings tool %s", qUtf8Printable(command.first()));
}

void DlgSetPermissions::restartProgram()
{
    // The launcher is this process's executable; it loads the module again.
    const QStringList command =
        restartCommand(QCoreApplication::applicationPid(), QCoreApplication::applicationFilePath(),
                       QCoreApplication::arguments().mid(1));
    if (!startDetached(command.first(), command.mid(1))) {
        // Quitting now would leave the user with no program at all.
        Log(kModule, 2, "restart failed: %s could not be started", qUtf8Printable(command.first()));
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
        else if (watched == m_pUi->lblUrlReStart && isLinkClick(m_pUi->lblUrlReStart, event))
            restartProgram();
    }
    return QDialog::eventFilter(watched, event);
}

void DlgSetPermissions::closeEvent(QCloseEvent* event)
{
    VxDialogBase::closeEvent(event);
}

void DlgSetPermissions::fitHeight()
{
    // Wrapped texts need more height the narrower the window; a top-level
    // layout does not grow the window for them by itself. Long texts (and
    // longer translations) make the guide taller, never narrower.
    QLayout* layout = this->layout();
    if (!layout || !layout->hasHeightForWidth())
        return;
    layout->activate();
    const int needed = layout->totalHeightForWidth(width());
    if (needed > height())
        resize(width(), needed);
}

void DlgSetPermissions::showEvent(QShowEvent* event)
{
    fitHeight();
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
            fitHeight();
    }
}
