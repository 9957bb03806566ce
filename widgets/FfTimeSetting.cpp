#include "widgets/FfTimeSetting.h"

#include "ui_FfTimeSetting.h"

#include <QEvent>
#include <QTime>

#include "core/RecordParameter.h"
#include "widgets/VxComboboxViewItemDelegate.h"

FfTimeSetting::FfTimeSetting(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::FfTimeSetting)
{
    ui->setupUi(this);
    // The colour properties come from the style sheet; the painter below
    // needs them now, not at the first show.
    ensurePolished();
    connect(ui->cbRecordLenth, &QCheckBox::clicked, this, &FfTimeSetting::enableTimeDuration);
    ui->timeEdit->setAttribute(Qt::WA_MacShowFocusRect, false);

    m_pDelegate = new VxComboboxViewItemDelegate(ui->cbStopEvent);
    updateComboBox();
    ui->cbStopEvent->setItemDelegate(m_pDelegate);
    enableTimeDuration(false);
}

FfTimeSetting::~FfTimeSetting()
{
    m_bDestroying = true;
    delete ui;
}

void FfTimeSetting::updateComboBox()
{
    if (!m_pDelegate)
        return;
    m_pDelegate->setTextColorH(m_colorHover);
    m_pDelegate->setTextColorN(m_colorNormal);
    m_pDelegate->setBacColorH(m_colorBacHover);
    m_pDelegate->setBacColorN(m_colorBacNormal);
    m_pDelegate->useStandardCheckImage();
}

void FfTimeSetting::changeLang()
{
    ui->retranslateUi(this);
}

void FfTimeSetting::enableTimeDuration(bool on)
{
    ui->cbRecordLenth->setChecked(on);
    ui->timeEdit->setEnabled(on);
    ui->frmStopEvent->setEnabled(on);
    ui->rbtOnce->setEnabled(on);
    ui->rbtAlways->setEnabled(on);
}

void FfTimeSetting::showEvent(QShowEvent* event)
{
    RecordParameter* rp = RecordParameter::instance();
    enableTimeDuration(rp->timerEnable());
    // Before the first store there is no length: the form's own 00:03:00 stays.
    const QTime duration = rp->timerDuration();
    if (duration.isValid())
        ui->timeEdit->setTime(duration);
    ui->cbStopEvent->setCurrentIndex(int(rp->timerStopEvent()));
    ui->rbtOnce->setChecked(!rp->TimerRepeat());
    ui->rbtAlways->setChecked(rp->TimerRepeat());
    m_pShownIn = window()->metaObject();
    m_bLoaded = true;
    QWidget::showEvent(event);
}

bool FfTimeSetting::hideClosesMenu() const
{
    if (m_bDestroying || !m_bLoaded)
        return false;
    // A window in its destructor answers with a base class's meta object.
    if (window()->metaObject() != m_pShownIn)
        return false;
    // Hidden on its own (a menu handing its widgets back as it goes) rather
    // than with its window, unless the panel is the window itself.
    return isWindow() || !isHidden();
}

void FfTimeSetting::hideEvent(QHideEvent* event)
{
    if (hideClosesMenu()) {
        RecordParameter* rp = RecordParameter::instance();
        rp->setTimerEnable(ui->cbRecordLenth->isChecked());
        rp->setTimerDuration(ui->timeEdit->time());
        rp->setTimerStopEvent(RecStopEvent(ui->cbStopEvent->currentIndex()));
        rp->setTimerRepeat(ui->rbtAlways->isChecked());
        m_bLoaded = false;
        emit statusChanged(false);
    }
    QWidget::hideEvent(event);
}

void FfTimeSetting::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::LanguageChange) {
        // Retranslating refills the combo at row 0: until the next show
        // reloads them the controls no longer hold the stored values.
        m_bLoaded = false;
        changeLang();
    }
    QWidget::changeEvent(event);
}
