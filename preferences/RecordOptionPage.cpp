#include "preferences/RecordOptionPage.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/RecordParameter.h"
#include "platform/framework/VxMessageBox.h"
#include "recording/AudioDriverManager.h"
#include "recording/AudioLevelFeed.h"
#include "recording/DlgWebcamOptions.h"
#include "widgets/CustomLEDFrame.h"

namespace {

// The plug-in manager's status view (its other view asks to install).
const int kPluginStatusMode = 1;

QPushButton* doorButton(QWidget* parent, const QString& text, const char* icon, const char* name)
{
    auto* button = new QPushButton(OptionPage::icon(icon), text, parent);
    button->setObjectName(QLatin1String(name));
    button->setIconSize(QSize(18, 18));
    return button;
}

} // namespace

RecordOptionPage::RecordOptionPage(QWidget* parent)
    : OptionPage(parent)
{
    setObjectName(QStringLiteral("pageRecord"));
    QFormLayout* start = addSection(tr("Starting"), "lblStarting");
    m_pCountDown = addCheck(start, tr("Count down before recording"), "chkCountDown");
    m_pBeep = addCheck(start, tr("Beep when recording starts"), "chkBeep");

    QFormLayout* during = addSection(tr("While recording"), "lblDuring");
    m_pHideFloat = addCheck(during, tr("Hide the control bar"), "chkHideFloat");
    m_pShowBoundary = addCheck(during, tr("Show the border of the recorded area"), "chkShowBoundary");
    m_pMoveRegion = addCheck(during, tr("Let the recorded area be dragged"), "chkMoveRegion");
    m_pExcludeFloat = addCheck(during, tr("Keep the program's floating panels out of the video"), "chkExcludeFloat");
    m_pHideDesktop = addCheck(during, tr("Hide the desktop icons"), "chkHideDesktop");
    m_pHideTaskbar = addCheck(during, tr("Hide the panel"), "chkHideTaskbar");

    QFormLayout* after = addSection(tr("Finishing"), "lblFinishing");
    m_pAutoSave = addCheck(after, tr("Save each recording as soon as it stops"), "chkAutoSave");
    m_pHideMain = addCheck(after, tr("Hide the main window when taking a screenshot"), "chkHideMain");

    QFormLayout* closing = addSection(tr("Closing the main window"), "lblClosing");
    m_pCloseToTray = new QRadioButton(tr("Keep running in the status bar"), this);
    m_pCloseToTray->setObjectName(QStringLiteral("rdoCloseToTray"));
    m_pCloseQuits = new QRadioButton(tr("Quit the program"), this);
    m_pCloseQuits->setObjectName(QStringLiteral("rdoCloseQuits"));
    auto* group = new QButtonGroup(this);
    group->addButton(m_pCloseToTray);
    group->addButton(m_pCloseQuits);
    closing->addRow(QString(), m_pCloseToTray);
    closing->addRow(QString(), m_pCloseQuits);
    connect(m_pCloseQuits, &QRadioButton::toggled, this, &OptionPage::changed);

    addDoors();
    static_cast<QVBoxLayout*>(layout())->addStretch(1);
}

void RecordOptionPage::addDoors()
{
    QFormLayout* devices = addSection(tr("Sound and webcam"), "lblDevices");
    QPushButton* plugin = doorButton(this, tr("System sound plug-in..."), "plugin.svg", "btnAudioPlugin");
    QPushButton* webcam = doorButton(this, tr("Webcam options..."), "webcam.svg", "btnWebcamOptions");
    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(plugin);
    row->addWidget(webcam);
    row->addStretch(1);
    devices->addRow(QString(), row);

    m_pMicTest = doorButton(this, tr("Test the microphone"), "mic.svg", "btnMicTest");
    m_pMicTest->setCheckable(true);
    m_pMeter = new CustomLEDFrame(this);
    m_pMeter->setObjectName(QStringLiteral("ledMicTest"));
    m_pMeter->setFixedHeight(36);
    m_pLevels = new AudioLevelFeed(m_pMeter, this);
    auto* meterRow = new QHBoxLayout;
    meterRow->setSpacing(8);
    meterRow->addWidget(m_pMicTest);
    meterRow->addWidget(m_pMeter, 1);
    devices->addRow(QString(), meterRow);
    connect(plugin, &QPushButton::clicked, this, &RecordOptionPage::openAudioPlugin);
    connect(webcam, &QPushButton::clicked, this, &RecordOptionPage::openWebcamOptions);
    connect(m_pMicTest, &QPushButton::toggled, this, &RecordOptionPage::testMicrophone);
}

void RecordOptionPage::testMicrophone(bool on)
{
    if (!on) {
        m_pLevels->stop();
        return;
    }
    // The system's default input: the one a recording with the
    // microphone switched on hears unless another is chosen.
    if (!m_pLevels->startMicTest(QString())) {
        QSignalBlocker quiet(m_pMicTest);
        m_pMicTest->setChecked(false);
        VxMessageBox::warning(this, tr("Preferences"), tr("The microphone could not be opened."));
    }
}

void RecordOptionPage::hideEvent(QHideEvent* event)
{
    m_pMicTest->setChecked(false);
    OptionPage::hideEvent(event);
}

void RecordOptionPage::openAudioPlugin()
{
    AudioDriverManager manager(window(), kPluginStatusMode);
    manager.setWindowModality(Qt::WindowModal);
    manager.exec();
}

void RecordOptionPage::openWebcamOptions()
{
    // The webcam options store their choices themselves on OK.
    DlgWebcamOptions options(window());
    options.setWindowModality(Qt::WindowModal);
    options.exec();
}

void RecordOptionPage::load()
{
    RecordParameter* rp = RecordParameter::instance();
    m_pCountDown->setChecked(rp->isCountDown());
    m_pBeep->setChecked(rp->isBeep());
    m_pHideFloat->setChecked(rp->isHideFloat());
    m_pShowBoundary->setChecked(rp->isShowBoundary());
    m_pMoveRegion->setChecked(rp->getMoveRegion());
    m_pExcludeFloat->setChecked(rp->isExcludeFloatBar());
    m_pHideDesktop->setChecked(rp->isHideDesktop());
    m_pHideTaskbar->setChecked(rp->isHideTaskbar());
    m_pAutoSave->setChecked(rp->isAutoSave());
    m_pHideMain->setChecked(rp->isHideMainWhenScreenshot());
    (rp->isCloseWhenClose() ? m_pCloseQuits : m_pCloseToTray)->setChecked(true);
    remember();
}

bool RecordOptionPage::apply(QString*)
{
    RecordParameter* rp = RecordParameter::instance();
    rp->setCountDown(m_pCountDown->isChecked());
    rp->setBeep(m_pBeep->isChecked());
    rp->setHideFloat(m_pHideFloat->isChecked());
    rp->setShowBoundary(m_pShowBoundary->isChecked());
    rp->setMoveRegion(m_pMoveRegion->isChecked());
    rp->setExcludeFloatBar(m_pExcludeFloat->isChecked());
    rp->setHideDesktop(m_pHideDesktop->isChecked());
    rp->setHideTaskbar(m_pHideTaskbar->isChecked());
    rp->setAutoSave(m_pAutoSave->isChecked());
    rp->setHideMainWhenScreenshot(m_pHideMain->isChecked());
    rp->setCloseWhenClose(m_pCloseQuits->isChecked());
    remember();
    return true;
}

QVariantList RecordOptionPage::values() const
{
    QVariantList shown;
    for (QCheckBox* box : {m_pCountDown, m_pBeep, m_pHideFloat, m_pShowBoundary, m_pMoveRegion, m_pExcludeFloat,
                           m_pHideDesktop, m_pHideTaskbar, m_pAutoSave, m_pHideMain})
        shown << box->isChecked();
    shown << m_pCloseQuits->isChecked();
    return shown;
}
