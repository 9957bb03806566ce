#include "preferences/OptionPage.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "widgets/NoWheelCombobox.h"
#include "widgets/VxComboboxViewItemDelegate.h"

OptionPage::OptionPage(QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 12, 18, 12);
    layout->setSpacing(6);
}

bool OptionPage::isModified() const
{
    return values() != m_loaded;
}

QIcon OptionPage::icon(const char* name)
{
    return QIcon(QStringLiteral(":/preferences/") + QLatin1String(name));
}

void OptionPage::alignLabels()
{
    QList<QWidget*> labels;
    int widest = 0;
    for (QFormLayout* form : qAsConst(m_forms)) {
        for (int row = 0; row < form->rowCount(); ++row) {
            QLayoutItem* item = form->itemAt(row, QFormLayout::LabelRole);
            if (item && item->widget()) {
                labels << item->widget();
                widest = qMax(widest, item->widget()->sizeHint().width());
            }
        }
    }
    for (QWidget* label : qAsConst(labels)) {
        label->setMinimumWidth(widest);
        if (auto* text = qobject_cast<QLabel*>(label))
            text->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

void OptionPage::remember()
{
    m_loaded = values();
}

void OptionPage::watch(QCheckBox* box)
{
    connect(box, &QCheckBox::toggled, this, &OptionPage::changed);
}

void OptionPage::watch(QComboBox* combo)
{
    connect(combo, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &OptionPage::changed);
}

void OptionPage::watch(QLineEdit* edit)
{
    connect(edit, &QLineEdit::textChanged, this, &OptionPage::changed);
}

QFormLayout* OptionPage::addSection(const QString& title, const char* objectName)
{
    auto* layout = static_cast<QVBoxLayout*>(this->layout());
    if (layout->count() > 0)
        layout->addSpacing(10);
    auto* heading = new QLabel(title, this);
    heading->setObjectName(QLatin1String(objectName));
    heading->setProperty("sectionTitle", true);
    layout->addWidget(heading);
    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);
    form->setContentsMargins(12, 0, 0, 0);
    form->setHorizontalSpacing(12);
    form->setVerticalSpacing(6);
    layout->addLayout(form);
    m_forms.append(form);
    return form;
}

QCheckBox* OptionPage::addCheck(QFormLayout* form, const QString& text, const char* objectName)
{
    auto* box = new QCheckBox(text, this);
    box->setObjectName(QLatin1String(objectName));
    form->addRow(QString(), box);
    watch(box);
    return box;
}

QComboBox* OptionPage::addCombo(QFormLayout* form, const QString& label, const char* objectName)
{
    // The pages scroll: a wheel turn over a list must move the page, not
    // quietly change a setting under the pointer.
    auto* combo = new NoWheelCombobox(this);
    combo->setObjectName(QLatin1String(objectName));
    combo->setMinimumWidth(180);
    VxComboboxViewItemDelegate::install(combo);
    form->addRow(label, combo);
    watch(combo);
    return combo;
}

void OptionPage::selectData(QComboBox* combo, const QVariant& value)
{
    const int row = combo->findData(value);
    combo->setCurrentIndex(row >= 0 ? row : (combo->count() > 0 ? 0 : -1));
}

ColourButton::ColourButton(QWidget* parent)
    : QToolButton(parent)
{
    setIconSize(QSize(36, 16));
    setToolButtonStyle(Qt::ToolButtonIconOnly);
    connect(this, &QToolButton::clicked, this, &ColourButton::choose);
}

void ColourButton::setColour(const QColor& colour)
{
    if (colour == m_colour)
        return;
    m_colour = colour;
    QPixmap swatch(iconSize());
    swatch.fill(Qt::transparent);
    QPainter painter(&swatch);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QColor(0x3c, 0x46, 0x50));
    painter.setBrush(colour);
    painter.drawRoundedRect(QRectF(swatch.rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
    painter.end();
    setIcon(QIcon(swatch));
    setToolTip(colour.name());
    emit colourChanged(colour);
}

void ColourButton::choose()
{
    const QColor picked = QColorDialog::getColor(m_colour, this);
    if (picked.isValid())
        setColour(picked);
}
