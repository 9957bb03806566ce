#include "preferences/OptionDialog.h"

#include <QDialogButtonBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <QWidget>

OptionDialog::OptionDialog(SETTINGPAGE page, QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("OptionDialog"));
    m_pTabs = new QTabWidget(this);
    m_pTabs->setObjectName(QStringLiteral("tabPages"));
    // Tab index == SETTINGPAGE value.
    const char* const names[] = {"pageMouse", "pageOutput", "pageHotKey", "pageRecord"};
    for (const char* name : names) {
        auto* pageWidget = new QWidget(m_pTabs);
        pageWidget->setObjectName(QLatin1String(name));
        m_pTabs->addTab(pageWidget, QString());
    }
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_pButtons->setObjectName(QStringLiteral("buttonBox"));
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &OptionDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pTabs);
    layout->addWidget(m_pButtons);
    resize(560, 400);

    setCurrentPage(page);
    retranslateDerived();
    postCreateDerivedDialog(true);
}

OptionDialog::~OptionDialog() = default;

void OptionDialog::setCurrentPage(int page)
{
    if (page >= 0 && page < m_pTabs->count())
        m_pTabs->setCurrentIndex(page);
}

int OptionDialog::currentPage() const
{
    return m_pTabs->currentIndex();
}

int OptionDialog::pageCount() const
{
    return m_pTabs->count();
}

void OptionDialog::retranslateDerived()
{
    m_pTabs->setTabText(SETTINGPAGE_Mouse, tr("Mouse"));
    m_pTabs->setTabText(SETTINGPAGE_Output, tr("Output"));
    m_pTabs->setTabText(SETTINGPAGE_HotKey, tr("Hotkeys"));
    m_pTabs->setTabText(SETTINGPAGE_Record, tr("Recording"));
}
