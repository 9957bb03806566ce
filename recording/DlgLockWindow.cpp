#include "recording/DlgLockWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QListWidget>
#include <QTimer>

#include <vector>

#include "core/RecordParameter.h"
#include "core/WindowListManger.h"
#include "recording/NsImageViewWidget.h"
#include "ui_DlgLockWindow.h"

namespace {

const int kCheckIntervalMs = 2000;

// Single-window mode lists what can be recorded alone; the others list
// every ordinary window.
int listFilter(int mode)
{
    return mode == WindowModle_Single ? kWindowFilterSingle : kWindowFilterNormal;
}

} // namespace

CompositedImage::~CompositedImage()
{
    preview.reset();
    windowList.reset();
}

void CompositedImage::ShowCompositedImage(WindowListOption option, QList<int> ids)
{
    if (!preview)
        return;
    std::vector<unsigned int> array;
    array.reserve(size_t(ids.size()));
    for (int id : ids)
        array.push_back(static_cast<unsigned int>(id));
    preview->show(option, array.empty() ? nullptr : array.data(), int(array.size()));
}

DlgLockWindow::DlgLockWindow(QWidget* parent)
    : VxDialogBase(parent, Qt::WindowFlags(), false)
    , m_pUi(new Ui::DlgLockWindow)
    , m_nMode(RecordParameter::instance()->getWindowModle())
{
    m_pUi->setupUi(this);
    VxDialogBase::setWindowFlags(Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    intiComposited();
    initWindowList();
    ensurePolished();
    connect(m_pUi->btnSingle, &QToolButton::clicked, this, &DlgLockWindow::onChangeModle);
    connect(m_pUi->btnInclude, &QToolButton::clicked, this, &DlgLockWindow::onChangeModle);
    connect(m_pUi->btnExclude, &QToolButton::clicked, this, &DlgLockWindow::onChangeModle);
    connect(m_pUi->listWdgWindow, &QListWidget::itemSelectionChanged, this, &DlgLockWindow::onSelectChange);
    connect(m_pUi->btnFrash, &QToolButton::clicked, this, &DlgLockWindow::initWindowList);
    connect(m_pUi->btnRecord, &QToolButton::clicked, this, &DlgLockWindow::onAccept);
    connect(m_pUi->btnCancel, &QToolButton::clicked, this, &QDialog::reject);
    m_pUi->listWdgWindow->setAttribute(Qt::WA_MacShowFocusRect, false);

    m_pTimer = new QTimer(this);
    connect(m_pTimer, &QTimer::timeout, this, &DlgLockWindow::onTimerOut);
    m_pTimer->start(kCheckIntervalMs);
    postCreateDerivedDialog(true, false, nullptr);
}

DlgLockWindow::~DlgLockWindow()
{
    m_pTimer->stop();
    delete m_pTimer;
    delete m_pComposited;
    delete m_pUi;
}

void DlgLockWindow::intiComposited()
{
    m_pComposited = new CompositedImage;
    m_pComposited->preview = scCreateWindowCompositedImage(m_pUi->imageViewWidget->nativeView());
}

void DlgLockWindow::initWindowList()
{
    m_pUi->stackedWidget->setCurrentWidget(m_pUi->pageTip);
    if (!m_pComposited)
        return;
    m_pComposited->windowList.reset();
    m_pComposited->windowList = scFindWindow(listFilter(m_nMode));

    QListWidget* list = m_pUi->listWdgWindow;
    list->blockSignals(true);
    list->clear();
    CWindowListObject* windows = m_pComposited->windowList.get();
    const int count = windows ? windows->count() : 0;
    for (int i = 0; i < count; ++i)
        addRow(windows->item(i));
    list->blockSignals(false);

    restoreChoice();
    onChbStateChange();
}

void DlgLockWindow::addRow(const WindowInfo& info)
{
    // The engine cuts and terminates both texts itself.
    QString full = QString::fromUtf8(info.title);
    if (full.isEmpty())
        full = QString::fromUtf8(info.owner);
    const QFontMetrics metrics(font());
    const QString shown = metrics.boundingRect(full).width() > m_nNameWidth
        ? metrics.elidedText(full, Qt::ElideMiddle, m_nNameWidth)
        : full;

    auto* item = new QListWidgetItem(m_pUi->listWdgWindow);
    item->setData(Qt::UserRole, int(info.id));
    item->setData(Qt::ToolTipRole, full);
    if (m_nMode == WindowModle_Single) {
        item->setData(Qt::DisplayRole, shown);
        return;
    }
    auto* box = new QCheckBox(shown, this);
    m_pUi->listWdgWindow->setItemWidget(item, box);
    box->setToolTip(full);
    connect(box, &QCheckBox::stateChanged, this, &DlgLockWindow::onChbStateChange);
}

void DlgLockWindow::restoreChoice()
{
    // Checking a box rebuilds the live choice, so test against a copy.
    const QList<int> chosen = m_listChosenIds;
    QListWidget* list = m_pUi->listWdgWindow;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        const int id = item->data(Qt::UserRole).toInt();
        if (m_nMode == WindowModle_Single) {
            if (id == m_nSelectedId)
                list->setCurrentItem(item);
        } else if (chosen.contains(id)) {
            if (auto* box = qobject_cast<QCheckBox*>(list->itemWidget(item)))
                box->setChecked(true);
        }
    }
}

void DlgLockWindow::initModeSelected()
{
    m_pUi->btnSingle->setChecked(false);
    m_pUi->btnInclude->setChecked(false);
    m_pUi->btnExclude->setChecked(false);
    if (m_nMode == WindowModle_Single) {
        m_pUi->btnSingle->setChecked(true);
        emit showRegionBox(false);
        m_pUi->listWdgWindow->setSelectionMode(QAbstractItemView::SingleSelection);
        return;
    }
    if (m_nMode != WindowModle_Exclude && m_nMode != WindowModle_Multiple)
        return;
    (m_nMode == WindowModle_Exclude ? m_pUi->btnExclude : m_pUi->btnInclude)->setChecked(true);
    emit showRegionBox(true);
    // Here a row counts through its box; a highlighted row would mislead.
    m_pUi->listWdgWindow->setSelectionMode(QAbstractItemView::NoSelection);
}

void DlgLockWindow::onChangeModle()
{
    const QObject* button = sender();
    int mode = m_nMode;
    if (button == m_pUi->btnSingle)
        mode = WindowModle_Single;
    else if (button == m_pUi->btnExclude)
        mode = WindowModle_Exclude;
    else if (button == m_pUi->btnInclude)
        mode = WindowModle_Multiple;
    if (mode == m_nMode) {
        // A checkable button unchecks itself on a second click: undo just that.
        if (auto* same = qobject_cast<QToolButton*>(sender()))
            same->setChecked(true);
        return;
    }
    m_nMode = mode;
    m_listChosenIds.clear();
    initWindowList();
    initModeSelected();
}

void DlgLockWindow::showSingle(int id)
{
    if (m_pComposited)
        m_pComposited->ShowCompositedImage(kWindowListSingle, {id});
}

void DlgLockWindow::onSelectChange()
{
    if (m_nMode != WindowModle_Single)
        return;
    m_nSelectedId = 0;
    if (QListWidgetItem* item = m_pUi->listWdgWindow->currentItem()) {
        m_nSelectedId = item->data(Qt::UserRole).toInt();
        m_strWindowName = item->data(Qt::DisplayRole).toString();
        showSingle(m_nSelectedId);
    }
    m_pUi->stackedWidget->setCurrentWidget(m_pUi->pageView);
}

QList<int> DlgLockWindow::checkedIds() const
{
    QList<int> ids;
    const QListWidget* list = m_pUi->listWdgWindow;
    for (int row = 0; row < list->count(); ++row) {
        QListWidgetItem* item = list->item(row);
        const auto* box = qobject_cast<const QCheckBox*>(list->itemWidget(item));
        if (box && box->isChecked())
            ids << item->data(Qt::UserRole).toInt();
    }
    return ids;
}

void DlgLockWindow::onChbStateChange()
{
    m_listChosenIds = checkedIds();
    if (m_nMode == WindowModle_Single)
        return;
    if (m_pComposited)
        m_pComposited->ShowCompositedImage(WindowListOption(m_nMode), m_listChosenIds);
    // Excluding nothing still previews the whole screen; including nothing has nothing to show.
    const bool nothing = m_nMode == WindowModle_Multiple && m_listChosenIds.isEmpty();
    m_pUi->stackedWidget->setCurrentWidget(nothing ? m_pUi->pageTip : m_pUi->pageView);
}

void DlgLockWindow::onTimerOut()
{
    if (!m_pComposited)
        return;
    WindowListManger* windows = WindowListManger::instance();
    if (m_nMode == WindowModle_Single) {
        if (windows->chechWindowVisible({m_nSelectedId}, true))
            showSingle(m_nSelectedId);
        else
            initWindowList();
        return;
    }
    if (windows->chechWindowVisible(m_listChosenIds, false))
        m_pComposited->ShowCompositedImage(WindowListOption(m_nMode), m_listChosenIds);
    else
        initWindowList();
}

void DlgLockWindow::onAccept()
{
    RecordParameter* params = RecordParameter::instance();
    params->setWindowRecord(true);
    params->setWindowModle(m_nMode);
    params->setWindowList(m_nMode == WindowModle_Single ? QList<int>{m_nSelectedId} : checkedIds());
    accept();
}

void DlgLockWindow::closeEvent(QCloseEvent* event)
{
    reject();
    VxDialogBase::closeEvent(event);
}
