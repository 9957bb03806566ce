#include "capture/HistoryFileListWidget.h"

#include <QFileInfo>
#include <QStringList>
#include <QVariantList>

#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"

namespace {
const char* const kHistoryKey = "Path/SavefilesHistroy";
}

HistoryFileListWidget::HistoryFileListWidget(QWidget* parent)
    : QListWidget(parent)
    , m_nFilterType(HistoryFile_All)
{
    setObjectName(QStringLiteral("HistoryFileListWidget"));
    loadStoredHistory();
    connect(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile, this,
            &HistoryFileListWidget::addHistoryFile);
}

HistoryFileListWidget::~HistoryFileListWidget() = default;

void HistoryFileListWidget::loadStoredHistory()
{
    // Each entry: {file name, path, type, resolution, duration, size}. The
    // store is a text file the user may edit: an entry without a path or a
    // numeric type is skipped rather than shown wrong.
    const QVariantList stored =
        VxSettings::instance()->applicationParam(kHistoryKey, QVariantList()).toList();
    for (const QVariant& value : stored) {
        const QStringList entry = value.toStringList();
        HistoryFileUtils::HistoryFile file;
        file.path = entry.value(1);
        bool numeric = false;
        file.type = entry.value(2).toInt(&numeric);
        if (file.path.isEmpty() || !numeric)
            continue;
        file.fileName = entry.value(0);
        if (file.fileName.isEmpty())
            file.fileName = QFileInfo(file.path).fileName();
        file.resolution = entry.value(3);
        file.duration = entry.value(4);
        file.size = entry.value(5);
        addItem(createItem(file));
    }
}

QListWidgetItem* HistoryFileListWidget::createItem(const HistoryFileUtils::HistoryFile& file) const
{
    auto* item = new QListWidgetItem(file.fileName);
    item->setToolTip(file.path);
    item->setData(PathRole, file.path);
    item->setData(TypeRole, file.type);
    item->setData(ResolutionRole, file.resolution);
    item->setData(DurationRole, file.duration);
    item->setData(SizeRole, file.size);
    return item;
}

HistoryFileUtils::HistoryFile HistoryFileListWidget::historyFile(const QListWidgetItem* item)
{
    HistoryFileUtils::HistoryFile file;
    if (!item)
        return file;
    file.fileName = item->text();
    file.path = item->data(PathRole).toString();
    file.type = item->data(TypeRole).toInt();
    file.resolution = item->data(ResolutionRole).toString();
    file.duration = item->data(DurationRole).toString();
    file.size = item->data(SizeRole).toString();
    return file;
}

void HistoryFileListWidget::addHistoryFile(const HistoryFileUtils::HistoryFile& file)
{
    QListWidgetItem* item = createItem(file);
    insertItem(0, item);
    item->setHidden(!matchesFilter(item));
}

void HistoryFileListWidget::setFilter(int type, const QString& text)
{
    m_nFilterType = type;
    m_strFilterText = text;
    for (int i = 0; i < count(); ++i)
        item(i)->setHidden(!matchesFilter(item(i)));
}

bool HistoryFileListWidget::matchesFilter(const QListWidgetItem* row) const
{
    if (m_nFilterType != HistoryFile_All && row->data(TypeRole).toInt() != m_nFilterType)
        return false;
    const QString text = m_strFilterText.trimmed();
    return text.isEmpty() || row->text().contains(text, Qt::CaseInsensitive);
}
