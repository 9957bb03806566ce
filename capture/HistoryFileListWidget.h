#pragma once

#include <QListWidget>

#include "core/HistoryFileUtils.h"

class QMenu;

// The list of saved files, newest first. It starts from the stored history
// and takes every file the hub announces afterwards. Each row shows the
// file's kind, picture size, length, size and name; a file that is gone
// stays listed, greyed and marked missing, until the user removes its row.
class HistoryFileListWidget : public QListWidget
{
    Q_OBJECT
public:
    // Item data of a row besides its text.
    enum Role {
        PathRole = Qt::UserRole + 1,
        TypeRole,
        ResolutionRole,
        DurationRole,
        SizeRole,
        FileNameRole,
        MissingRole,
    };

    explicit HistoryFileListWidget(QWidget* parent = nullptr);
    ~HistoryFileListWidget() override;

    // Hides the rows that are not of `type` (HistoryFileType; HistoryFile_All
    // shows every type) or whose file name does not contain `text`.
    void setFilter(int type, const QString& text);
    int filterType() const { return m_nFilterType; }
    QString filterText() const { return m_strFilterText; }
    // Looks again which files are gone (they may have been moved or
    // deleted since the rows were made).
    void refreshMissing();

    // The row's menu: open, open the containing folder, copy the path,
    // remove from the history. The caller owns it.
    QMenu* createContextMenu(QListWidgetItem* row, QWidget* parent);
    // Opens the row's file with the desktop's program for it; nothing for
    // a missing file.
    void openFile(QListWidgetItem* row);
    // Takes the row out of the list and the store; the file stays.
    void removeEntry(QListWidgetItem* row);

    static HistoryFileUtils::HistoryFile historyFile(const QListWidgetItem* item);

public slots:
    void addHistoryFile(const HistoryFileUtils::HistoryFile& file);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void loadStoredHistory();
    QListWidgetItem* createItem(const HistoryFileUtils::HistoryFile& file) const;
    void showFacts(QListWidgetItem* row) const;
    bool matchesFilter(const QListWidgetItem* item) const;

    int m_nFilterType;
    QString m_strFilterText;
};
