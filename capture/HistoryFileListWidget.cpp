#include "capture/HistoryFileListWidget.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QStringList>
#include <QVariantList>

#include "core/OSServiceUtils.h"
#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"

namespace {
const char* const kHistoryKey = "Path/SavefilesHistroy";
const int kIconSide = 32;

// A film frame, a note or a framed landscape, drawn here so the rows need
// no picture files.
QIcon typeIcon(int type)
{
    QPixmap pixmap(kIconSide, kIconSide);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor ink(0x3d, 0x7e, 0xe0);
    p.setPen(QPen(ink, 2));
    if (type == HistoryFile_Audio) {
        p.setBrush(ink);
        p.drawEllipse(QRectF(6, 20, 8, 6));
        p.drawEllipse(QRectF(18, 17, 8, 6));
        p.drawLine(QPointF(13, 23), QPointF(13, 7));
        p.drawLine(QPointF(25, 20), QPointF(25, 4));
        p.drawLine(QPointF(13, 7), QPointF(25, 4));
    } else if (type == HistoryFile_Image) {
        p.drawRoundedRect(QRectF(4, 6, 24, 20), 2, 2);
        QPainterPath hills;
        hills.moveTo(6, 24);
        hills.lineTo(13, 15);
        hills.lineTo(18, 20);
        hills.lineTo(21, 17);
        hills.lineTo(26, 24);
        hills.closeSubpath();
        p.setBrush(ink);
        p.drawPath(hills);
        p.drawEllipse(QRectF(19, 9, 4, 4));
    } else {
        p.drawRoundedRect(QRectF(3, 7, 26, 18), 3, 3);
        p.setBrush(ink);
        const QPointF play[] = {{13, 11}, {13, 21}, {21, 16}};
        p.drawPolygon(play, 3);
    }
    return QIcon(pixmap);
}

QString typeWord(int type)
{
    switch (type) {
    case HistoryFile_Audio: return HistoryFileListWidget::tr("Audio");
    case HistoryFile_Image: return HistoryFileListWidget::tr("Image");
    default: return HistoryFileListWidget::tr("Video");
    }
}
} // namespace

HistoryFileListWidget::HistoryFileListWidget(QWidget* parent)
    : QListWidget(parent)
    , m_nFilterType(HistoryFile_All)
{
    setObjectName(QStringLiteral("HistoryFileListWidget"));
    setIconSize(QSize(kIconSide, kIconSide));
    setSpacing(2);
    loadStoredHistory();
    connect(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile, this,
            &HistoryFileListWidget::addHistoryFile);
    // Double click and Enter.
    connect(this, &QListWidget::itemActivated, this, &HistoryFileListWidget::openFile);
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
    auto* item = new QListWidgetItem();
    item->setData(FileNameRole, file.fileName);
    item->setData(PathRole, file.path);
    item->setData(TypeRole, file.type);
    item->setData(ResolutionRole, file.resolution);
    item->setData(DurationRole, file.duration);
    item->setData(SizeRole, file.size);
    item->setData(MissingRole, !QFileInfo::exists(file.path));
    showFacts(item);
    return item;
}

void HistoryFileListWidget::showFacts(QListWidgetItem* row) const
{
    const HistoryFileUtils::HistoryFile file = historyFile(row);
    const bool missing = row->data(MissingRole).toBool();
    QStringList facts{typeWord(file.type)};
    QString resolution = file.resolution;
    resolution.replace(QLatin1Char('*'), QChar(0x00D7));
    for (const QString& fact : {resolution, file.duration, file.size})
        if (!fact.isEmpty())
            facts << fact;
    if (missing)
        facts << tr("missing");
    row->setText(file.fileName + QLatin1Char('\n') + facts.join(QStringLiteral("  \u00B7  ")));
    const QIcon icon = typeIcon(file.type);
    row->setIcon(missing ? QIcon(icon.pixmap(kIconSide, QIcon::Disabled)) : icon);
    row->setForeground(missing ? palette().brush(QPalette::Disabled, QPalette::Text)
                               : palette().brush(QPalette::Active, QPalette::Text));
    row->setToolTip(missing ? tr("%1 (missing)").arg(file.path) : file.path);
}

void HistoryFileListWidget::refreshMissing()
{
    for (int i = 0; i < count(); ++i) {
        QListWidgetItem* row = item(i);
        const bool missing = !QFileInfo::exists(row->data(PathRole).toString());
        if (missing == row->data(MissingRole).toBool())
            continue;
        row->setData(MissingRole, missing);
        showFacts(row);
    }
}

HistoryFileUtils::HistoryFile HistoryFileListWidget::historyFile(const QListWidgetItem* item)
{
    HistoryFileUtils::HistoryFile file;
    if (!item)
        return file;
    file.fileName = item->data(FileNameRole).toString();
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

void HistoryFileListWidget::openFile(QListWidgetItem* row)
{
    if (row && !row->data(MissingRole).toBool())
        OSServiceUtils::executeFile(row->data(PathRole).toString());
}

void HistoryFileListWidget::removeEntry(QListWidgetItem* row)
{
    if (!row)
        return;
    const QString path = row->data(PathRole).toString();
    HistoryFileUtils::removeSavefileHistroy(path);
    // The store kept no entry of that file: neither does the list.
    for (int i = count() - 1; i >= 0; --i)
        if (item(i)->data(PathRole).toString() == path)
            delete takeItem(i);
}

QMenu* HistoryFileListWidget::createContextMenu(QListWidgetItem* row, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const QString path = row->data(PathRole).toString();
    QAction* open = menu->addAction(tr("Open"), this, [this, row] { openFile(row); });
    open->setEnabled(!row->data(MissingRole).toBool());
    QAction* folder = menu->addAction(tr("Open Containing Folder"), this,
                                      [path] { OSServiceUtils::openFileFolder(path, true, false); });
    folder->setEnabled(QFileInfo(QFileInfo(path).absolutePath()).isDir());
    menu->addAction(tr("Copy Path"), this, [path] { QApplication::clipboard()->setText(path); });
    menu->addSeparator();
    menu->addAction(tr("Remove from History"), this, [this, row] { removeEntry(row); });
    return menu;
}

void HistoryFileListWidget::contextMenuEvent(QContextMenuEvent* event)
{
    QListWidgetItem* row = itemAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!row)
        return;
    setCurrentItem(row);
    QMenu* menu = createContextMenu(row, this);
    menu->exec(event->globalPos());
    delete menu;
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
    return text.isEmpty() || row->data(FileNameRole).toString().contains(text, Qt::CaseInsensitive);
}
