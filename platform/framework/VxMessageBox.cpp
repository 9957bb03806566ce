#include "platform/framework/VxMessageBox.h"

#include <QCloseEvent>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QStyle>

#include "platform/framework/VxProductInfo.h"

VxMessageBox::VxMessageBox(QWidget* parent, bool frameless)
    : VxDialogBase(parent, Qt::WindowFlags(), frameless)
{
    setObjectName(QStringLiteral("VxMessageBox"));
    m_pIcon = new QLabel(this);
    m_pIcon->setObjectName(QStringLiteral("lblMsgIcon"));
    m_pIcon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);
    m_pIcon->hide();
    m_pTitle = new QLabel(this);
    m_pTitle->setObjectName(QStringLiteral("lblMsgTitle"));
    m_pTitle->hide();
    m_pText = new QLabel(this);
    m_pText->setObjectName(QStringLiteral("lblMsgInfo"));
    m_pText->setWordWrap(true);
    m_pText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pButtons = new QDialogButtonBox(this);
    m_pButtons->setObjectName(QStringLiteral("buttonBox"));
    connect(m_pButtons, &QDialogButtonBox::clicked, this, &VxMessageBox::onButtonClicked);

    auto* grid = new QGridLayout(this);
    grid->addWidget(m_pIcon, 0, 0, 2, 1);
    grid->addWidget(m_pTitle, 0, 1);
    grid->addWidget(m_pText, 1, 1);
    grid->addWidget(m_pButtons, 2, 0, 1, 2);
    grid->setColumnStretch(1, 1);
    grid->setSizeConstraint(QLayout::SetFixedSize);

    postCreateDerivedDialog(!frameless);
}

VxMessageBox::~VxMessageBox() = default;

void VxMessageBox::setIcon(int icon)
{
    m_nIcon = icon;
    QStyle::StandardPixmap pixmap = QStyle::SP_MessageBoxInformation;
    switch (icon) {
    case 0:
        m_pIcon->clear();
        m_pIcon->hide();
        return;
    case 2: pixmap = QStyle::SP_MessageBoxWarning; break;
    case 3:
    case 6: pixmap = QStyle::SP_MessageBoxCritical; break;
    case 4: pixmap = QStyle::SP_MessageBoxQuestion; break;
    default: break;
    }
    const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
    m_pIcon->setPixmap(style()->standardIcon(pixmap, nullptr, this).pixmap(size, size));
    m_pIcon->show();
}

int VxMessageBox::icon() const
{
    return m_nIcon;
}

void VxMessageBox::setMsgTitle(const QString& title)
{
    setWindowTitle(title);
    m_pTitle->setText(title);
    m_pTitle->setVisible(!title.isEmpty() && (windowFlags() & Qt::FramelessWindowHint));
}

void VxMessageBox::setLabelInfo(const QString& text)
{
    m_pText->setText(text);
}

QString VxMessageBox::labelInfo() const
{
    return m_pText->text();
}

void VxMessageBox::setButtons(QMessageBox::StandardButtons buttons)
{
    m_pButtons->setStandardButtons(QDialogButtonBox::StandardButtons(int(buttons)));
    for (QAbstractButton* b : m_pButtons->buttons())
        showAnswerIcon(b);
}

// The icon says what the answer means. A standard button's text and role
// agree, so its role decides; a relabelled one may say anything ("Install
// now" on the Cancel role), so it shows no icon rather than a wrong one.
void VxMessageBox::showAnswerIcon(QAbstractButton* button)
{
    const QString standard = button->property("vxStandardText").toString();
    const bool relabelled = !standard.isNull() && QString(button->text()).remove(QLatin1Char('&')) != standard;
    QString picture;
    switch (relabelled ? QDialogButtonBox::InvalidRole : m_pButtons->buttonRole(button)) {
    case QDialogButtonBox::AcceptRole:
    case QDialogButtonBox::YesRole:
    case QDialogButtonBox::ApplyRole: picture = QStringLiteral(":/framework/icons/answer_yes.svg"); break;
    case QDialogButtonBox::RejectRole:
    case QDialogButtonBox::NoRole: picture = QStringLiteral(":/framework/icons/answer_no.svg"); break;
    default: break;
    }
    button->setIcon(picture.isEmpty() ? QIcon() : QIcon(picture));
}

void VxMessageBox::setDefaultButton(QMessageBox::StandardButton button)
{
    // Applied again by exec(): the buttons may still change until then.
    m_default = button;
    if (auto* push = qobject_cast<QPushButton*>(this->button(button))) {
        push->setDefault(true);
        push->setFocus();
    }
}

void VxMessageBox::setEscapeButton(QMessageBox::StandardButton button)
{
    m_escape = button;
}

QAbstractButton* VxMessageBox::addButton(const QString& text, QMessageBox::StandardButton role)
{
    QAbstractButton* b = button(role);
    if (!b && role != QMessageBox::NoButton)
        b = m_pButtons->addButton(QDialogButtonBox::StandardButton(int(role)));
    if (!b)
        return nullptr;
    if (!b->property("vxStandardText").isValid())
        b->setProperty("vxStandardText", QString(b->text()).remove(QLatin1Char('&')));
    b->setText(text);
    showAnswerIcon(b);
    return b;
}

QAbstractButton* VxMessageBox::button(QMessageBox::StandardButton role) const
{
    if (role == QMessageBox::NoButton)
        return nullptr;
    return m_pButtons->button(QDialogButtonBox::StandardButton(int(role)));
}

int VxMessageBox::exec()
{
    if (m_default != QMessageBox::NoButton)
        setDefaultButton(m_default);
    adjustSize();
    QPointer<VxMessageBox> self(this);
    const int result = VxDialogBase::exec();
    if (self)
        m_nResult = result;
    return result;
}

void VxMessageBox::reject()
{
    done(escapeResult());
}

int VxMessageBox::escapeResult() const
{
    if (m_escape != QMessageBox::NoButton)
        return m_escape;
    if (button(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    if (button(QMessageBox::No))
        return QMessageBox::No;
    if (button(QMessageBox::Ok))
        return QMessageBox::Ok;
    const QList<QAbstractButton*> buttons = m_pButtons->buttons();
    if (buttons.size() == 1)
        return m_pButtons->standardButton(buttons.first());
    return QMessageBox::NoButton;
}

void VxMessageBox::keyPressEvent(QKeyEvent* event)
{
    // QDialog maps Escape to reject() only without modifiers; keep that.
    VxDialogBase::keyPressEvent(event);
}

void VxMessageBox::closeEvent(QCloseEvent* event)
{
    // QDialog turns a close request of a visible dialog into reject().
    VxDialogBase::closeEvent(event);
}

void VxMessageBox::onButtonClicked(QAbstractButton* button)
{
    done(m_pButtons->standardButton(button));
}

VxMessageBox* VxMessageBox::makeBox(int icon, QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                    QMessageBox::StandardButton escapeButton, bool frameless)
{
    auto* box = new VxMessageBox(parent, frameless);
    box->setIcon(icon);
    box->setMsgTitle(title.isEmpty() ? VxProductInfo::instance()->productName() : title);
    box->setLabelInfo(text);
    box->setButtons(buttons);
    box->setDefaultButton(defaultButton);
    box->setEscapeButton(escapeButton);
    return box;
}

int VxMessageBox::showBox(int icon, QWidget* parent, const QString& title, const QString& text,
                          QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                          QMessageBox::StandardButton escapeButton, bool frameless)
{
    // On the heap: a parent deleted while the box runs takes the box with it.
    QPointer<VxMessageBox> box = makeBox(icon, parent, title, text, buttons, defaultButton, escapeButton, frameless);
    const int result = box->exec();
    delete box.data();
    return result;
}

VxMessageBox* VxMessageBox::openBox(int icon, QWidget* parent, const QString& title, const QString& text,
                                    QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                                    QMessageBox::StandardButton escapeButton, QObject* context,
                                    std::function<void(int)> then)
{
    VxMessageBox* box = makeBox(icon, parent, title, text, buttons, defaultButton, escapeButton, false);
    box->adjustSize();
    box->openThen(context, std::move(then));
    return box;
}

VxMessageBox* VxMessageBox::tell(int icon, QWidget* parent, const QString& title, const QString& text, QObject* context,
                                 std::function<void(int)> then)
{
    return openBox(icon, parent, title, text, QMessageBox::Ok, QMessageBox::Ok, QMessageBox::NoButton, context,
                std::move(then));
}

int VxMessageBox::information(QWidget* parent, const QString& title, const QString& text,
                              QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                              QMessageBox::StandardButton escapeButton, bool frameless)
{
    return showBox(kIconInformation, parent, title, text, buttons, defaultButton, escapeButton, frameless);
}

int VxMessageBox::warning(QWidget* parent, const QString& title, const QString& text,
                          QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                          QMessageBox::StandardButton escapeButton, bool frameless)
{
    return showBox(kIconWarning, parent, title, text, buttons, defaultButton, escapeButton, frameless);
}

int VxMessageBox::question(QWidget* parent, const QString& title, const QString& text,
                           QMessageBox::StandardButtons buttons, QMessageBox::StandardButton defaultButton,
                           QMessageBox::StandardButton escapeButton, bool frameless)
{
    return showBox(kIconQuestion, parent, title, text, buttons, defaultButton, escapeButton, frameless);
}

int VxMessageBox::choose(QWidget* parent, const QString& title, const QString& text, const Choices& choices)
{
    // On the heap for the same reason as in showBox.
    QPointer<VxMessageBox> box = new VxMessageBox(parent);
    box->setIcon(kIconWarning);
    box->setMsgTitle(title);
    // Each relabelled button is created for its role as it is added.
    for (const auto& choice : choices)
        box->addButton(choice.second, choice.first);
    if (!choices.isEmpty())
        box->setDefaultButton(choices.first().first);
    box->setLabelInfo(text);
    box->adjustSize();
    const int result = box->exec();
    delete box.data();
    return result;
}
