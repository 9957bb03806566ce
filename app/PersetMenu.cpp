#include "app/PersetMenu.h"

#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QRadioButton>
#include <QShowEvent>
#include <QVBoxLayout>

PersetMenu* PersetMenu::m_pInstance = nullptr;

namespace {

// What a menu holds in place of the frame. The frame lives in whichever
// host was shown last; the host's size is the frame's, so a menu lays out
// right before the frame has moved in.
class PersetMenuHost : public QWidget
{
public:
    PersetMenuHost(QWidget* parent, FfMenu* menu)
        : QWidget(parent)
        , m_pMenu(menu)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        adopt();
    }

    ~PersetMenuHost() override { giveBack(); }

    QSize sizeHint() const override { return m_pMenu ? m_pMenu->sizeHint() : QWidget::sizeHint(); }
    QSize minimumSizeHint() const override
    {
        return m_pMenu ? m_pMenu->minimumSizeHint() : QWidget::minimumSizeHint();
    }

    void adopt()
    {
        if (!m_pMenu || m_pMenu->parentWidget() == this)
            return;
        // Leaving the previous host's layout happens with the reparenting.
        m_pMenu->setParent(this);
        layout()->addWidget(m_pMenu);
        m_pMenu->show();
    }

    // The frame outlives every menu: it goes back to having no parent.
    void giveBack()
    {
        if (!m_pMenu || m_pMenu->parentWidget() != this)
            return;
        layout()->removeWidget(m_pMenu);
        m_pMenu->hide();
        m_pMenu->setParent(nullptr);
    }

protected:
    void showEvent(QShowEvent* event) override
    {
        adopt();
        QWidget::showEvent(event);
    }

private:
    QPointer<FfMenu> m_pMenu;
};

QRadioButton* newPresetButton(const QString& text, bool checkable)
{
    auto* button = new QRadioButton(text);
    button->setObjectName(QStringLiteral("btnMenuPreset"));
    button->setToolTip(text);
    button->setFocusPolicy(Qt::NoFocus);
    button->setCheckable(checkable);
    return button;
}

} // namespace

PersetMenu* PersetMenu::instance()
{
    if (!m_pInstance)
        m_pInstance = new PersetMenu;
    return m_pInstance;
}

void PersetMenu::release()
{
    delete m_pInstance;
    m_pInstance = nullptr;
}

PersetMenu::PersetMenu()
    : QWidgetAction(nullptr)
{
    m_pMenu = new FfMenu(nullptr);

    m_pGroupFrame = new QFrame;
    m_pGroupFrame->setObjectName(QStringLiteral("frmMenuGroupNameBg"));
    auto* groupLayout = new QHBoxLayout(m_pGroupFrame);
    groupLayout->setContentsMargins(10, 4, 10, 4);
    groupLayout->setSpacing(8);
    m_pGroupName = new QLabel(tr("Default"), m_pGroupFrame);
    m_pGroupName->setObjectName(QStringLiteral("lblMenuGroupName"));
    m_pGroupLine = new QFrame(m_pGroupFrame);
    m_pGroupLine->setObjectName(QStringLiteral("groupline"));
    m_pGroupLine->setFrameShape(QFrame::HLine);
    m_pGroupLine->setFrameShadow(QFrame::Sunken);
    groupLayout->addWidget(m_pGroupName);
    groupLayout->addWidget(m_pGroupLine, 1);
    m_pMenu->addFrame(m_pGroupFrame);

    m_pMenu->setManagerBtnVisable(false);

    // The webcam recorder opens a window of its own instead of switching the
    // page, so its button never stays checked.
    m_pBtnVideo = newPresetButton(tr("Video Recorder"), true);
    m_pBtnAudio = newPresetButton(tr("Audio Recorder"), true);
    m_pBtnWindow = newPresetButton(tr("Window Recorder"), true);
    m_pBtnWebcam = newPresetButton(tr("Webcam Recorder"), false);
    for (QRadioButton* button : {m_pBtnVideo, m_pBtnAudio, m_pBtnWindow, m_pBtnWebcam}) {
        m_pMenu->addButton(button);
        m_lstButtons << button;
    }
}

PersetMenu::~PersetMenu()
{
    if (m_pMenu)
        m_pMenu->deleteLater();
}

FfMenu* PersetMenu::getPersetMenu() const
{
    return m_pMenu;
}

int PersetMenu::getChooseWhat(const QString& name) const
{
    // The buttons live in the frame: without it there is nothing to find.
    if (!m_pMenu)
        return 0;
    for (int i = 0; i < m_lstButtons.size(); ++i) {
        if (m_lstButtons.at(i)->text() == name)
            return i + 1;
    }
    return 0;
}

QAbstractButton* PersetMenu::getButtonByName(const QString& name) const
{
    if (!m_pMenu)
        return nullptr;
    for (QAbstractButton* button : m_lstButtons) {
        if (button->text() == name)
            return button;
    }
    return nullptr;
}

void PersetMenu::clearCheckButton()
{
    if (m_pMenu)
        m_pMenu->clearButtonChecked();
}

void PersetMenu::addPreserMenuAction(QString& name)
{
    if (!m_pMenu)
        return;
    const QString shown = m_pMenu->fontMetrics().elidedText(name, Qt::ElideRight, m_pMenu->width());
    QRadioButton* button = newPresetButton(shown, true);
    button->setToolTip(name);
    m_pMenu->addButton(button);
    m_lstButtons << button;
}

void PersetMenu::changeLanguage()
{
    if (!m_pMenu)
        return;
    const QList<QPair<QRadioButton*, QString>> texts = {
        {m_pBtnVideo, tr("Video Recorder")},
        {m_pBtnAudio, tr("Audio Recorder")},
        {m_pBtnWindow, tr("Window Recorder")},
        {m_pBtnWebcam, tr("Webcam Recorder")},
    };
    for (const auto& entry : texts) {
        entry.first->setText(entry.second);
        entry.first->setToolTip(entry.second);
    }
    m_pGroupName->setText(tr("Default"));
}

QWidget* PersetMenu::createWidget(QWidget* parent)
{
    if (!m_pMenu)
        return nullptr;
    return new PersetMenuHost(parent, m_pMenu);
}

void PersetMenu::deleteWidget(QWidget* widget)
{
    // The container lets go of its host: the frame stays ours.
    static_cast<PersetMenuHost*>(widget)->giveBack();
    QWidgetAction::deleteWidget(widget);
}
