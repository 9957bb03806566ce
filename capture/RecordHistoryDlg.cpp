#include "capture/RecordHistoryDlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "capture/HistoryFileListWidget.h"
#include "core/RecordTypes.h"
#include "widgets/SearchEdit.h"
#include "widgets/VxComboboxViewItemDelegate.h"

RecordHistoryDlg::RecordHistoryDlg(QWidget* parent)
    : VxDialogBase(parent)
{
    setObjectName(QStringLiteral("RecordHistoryDlg"));
    m_pCmbFilter = new QComboBox(this);
    m_pCmbFilter->setObjectName(QStringLiteral("cmbFilter"));
    // The first entry must stay "Show all": isAddedHistory goes back to it.
    for (int type : {int(HistoryFile_All), int(HistoryFile_Image), int(HistoryFile_Video),
                     int(HistoryFile_Audio)})
        m_pCmbFilter->addItem(QString(), type);
    VxComboboxViewItemDelegate::install(m_pCmbFilter);
    m_pEditSearch = new SearchEdit(this);
    m_pEditSearch->setObjectName(QStringLiteral("editSearch"));
    m_pEditSearch->setClearButtonEnabled(true);
    m_pList = new HistoryFileListWidget(this);
    m_pList->setObjectName(QStringLiteral("listHistory"));

    auto* top = new QHBoxLayout();
    top->addWidget(m_pCmbFilter);
    top->addStretch(1);
    top->addWidget(m_pEditSearch);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_pList, 1);
    resize(640, 420);

    connect(m_pCmbFilter, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &RecordHistoryDlg::applyFilter);
    connect(m_pEditSearch, &QLineEdit::textChanged, this, &RecordHistoryDlg::applyFilter);

    retranslateDerived();
    postCreateDerivedDialog(true);
}

RecordHistoryDlg::~RecordHistoryDlg() = default;

void RecordHistoryDlg::isAddedHistory()
{
    m_pCmbFilter->setCurrentIndex(0);
}

void RecordHistoryDlg::showEvent(QShowEvent* event)
{
    // The dialog is kept between runs; files may have gone meanwhile.
    m_pList->refreshMissing();
    VxDialogBase::showEvent(event);
}

void RecordHistoryDlg::applyFilter()
{
    const QVariant type = m_pCmbFilter->currentData();
    m_pList->setFilter(type.isValid() ? type.toInt() : int(HistoryFile_All), m_pEditSearch->text());
}

void RecordHistoryDlg::retranslateDerived()
{
    m_pCmbFilter->setItemText(0, tr("Show all"));
    m_pCmbFilter->setItemText(1, tr("Image"));
    m_pCmbFilter->setItemText(2, tr("Video"));
    m_pCmbFilter->setItemText(3, tr("Audio"));
    m_pEditSearch->setPlaceholderText(tr("Search"));
}
