#include "preferences/OptionDialog.h"

#include <QCloseEvent>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "platform/framework/VxMessageBox.h"
#include "widgets/UIHelper.h"
#include "widgets/VxAutoMoveScrollArea.h"
#include "preferences/HotkeyPage.h"
#include "preferences/MouseOptionPage.h"
#include "preferences/OutputOptionPage.h"
#include "preferences/RecordOptionPage.h"

namespace {

// A page taller than the dialog scrolls instead of squeezing its rows.
QWidget* scrolled(QWidget* page)
{
    auto* area = new VxAutoMoveScrollArea(nullptr);
    area->setObjectName(QStringLiteral("scroll_") + page->objectName());
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(true);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(page);
    return area;
}

} // namespace

OptionDialog::OptionDialog(SETTINGPAGE page, QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("OptionDialog"));
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("lstPages"));
    m_pList->setIconSize(QSize(22, 22));
    m_pList->setFixedWidth(150);
    m_pList->setFrameShape(QFrame::NoFrame);
    m_pStack = new QStackedWidget(this);
    m_pStack->setObjectName(QStringLiteral("stkPages"));

    // List row == stack index == SETTINGPAGE value.
    addPage(new MouseOptionPage(m_pStack), "mouse.svg");
    addPage(new OutputOptionPage(m_pStack), "output.svg");
    addPage(new HotkeyPage(m_pStack), "hotkey.svg");
    addPage(new RecordOptionPage(m_pStack), "record.svg");
    connect(m_pList, &QListWidget::currentRowChanged, m_pStack, &QStackedWidget::setCurrentIndex);

    m_pOK = new QPushButton(this);
    m_pOK->setObjectName(QStringLiteral("btnOK"));
    m_pOK->setDefault(true);
    m_pCancel = new QPushButton(this);
    m_pCancel->setObjectName(QStringLiteral("btnCancel"));
    connect(m_pOK, &QPushButton::clicked, this, &OptionDialog::accept);
    connect(m_pCancel, &QPushButton::clicked, this, &OptionDialog::reject);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_pCancel);
    buttons->addWidget(m_pOK);
    auto* right = new QVBoxLayout;
    right->addWidget(m_pStack, 1);
    right->addLayout(buttons);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 12, 12);
    layout->addWidget(m_pList);
    layout->addLayout(right, 1);
    resize(660, 700);

    applyStyle();
    setCurrentPage(page);
    retranslateDerived();
    postCreateDerivedDialog(true);
}

OptionDialog::~OptionDialog() = default;

void OptionDialog::addPage(OptionPage* page, const char* icon)
{
    page->load();
    page->alignLabels();
    m_pStack->addWidget(scrolled(page));
    m_pList->addItem(new QListWidgetItem(OptionPage::icon(icon), QString()));
    m_pages.append(page);
}

void OptionDialog::applyStyle()
{
    QFile sheet(QStringLiteral(":/preferences/preferences.qss"));
    if (sheet.open(QIODevice::ReadOnly))
        setStyleSheet(QString::fromUtf8(sheet.readAll()));
}

void OptionDialog::setCurrentPage(int page)
{
    if (page >= 0 && page < m_pStack->count())
        m_pList->setCurrentRow(page);
}

int OptionDialog::currentPage() const
{
    return m_pStack->currentIndex();
}

int OptionDialog::pageCount() const
{
    return m_pStack->count();
}

bool OptionDialog::isModified() const
{
    for (const OptionPage* page : m_pages) {
        if (page->isModified())
            return true;
    }
    return false;
}

void OptionDialog::accept()
{
    // The pages that may refuse their values go first, so a refusal
    // leaves as little as possible stored.
    const int order[] = {SETTINGPAGE_HotKey, SETTINGPAGE_Output, SETTINGPAGE_Mouse, SETTINGPAGE_Record};
    for (int i : order) {
        QString error;
        if (!m_pages[i]->apply(&error)) {
            setCurrentPage(i);
            VxMessageBox::warning(this, windowTitle(), error);
            return;
        }
    }
    VxDialogBase::accept();
}

void OptionDialog::closeEvent(QCloseEvent* event)
{
    UIHelper::closeSettingsDialog(this, event, isModified());
}

void OptionDialog::retranslateDerived()
{
    setWindowTitle(tr("Preferences"));
    const char* const names[] = {QT_TR_NOOP("Mouse"), QT_TR_NOOP("Output"), QT_TR_NOOP("Hotkeys"),
                                 QT_TR_NOOP("Recording")};
    for (int i = 0; i < m_pList->count(); ++i)
        m_pList->item(i)->setText(tr(names[i]));
    m_pOK->setText(tr("OK"));
    m_pCancel->setText(tr("Cancel"));
}
