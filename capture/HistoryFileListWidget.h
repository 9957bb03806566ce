#pragma once

#include <QListWidget>

#include "core/HistoryFileUtils.h"

// The list of saved files, newest first. It starts from the stored history
// and takes every file the hub announces afterwards.
class HistoryFileListWidget : public QListWidget
{
    Q_OBJECT
public:
    // Item data of a row besides its text (the file name).
    enum Role {
        PathRole = Qt::UserRole + 1,
        TypeRole,
        ResolutionRole,
        DurationRole,
        SizeRole,
    };

    explicit HistoryFileListWidget(QWidget* parent = nullptr);
    ~HistoryFileListWidget() override;

    // Hides the rows that are not of `type` (HistoryFileType; HistoryFile_All
    // shows every type) or whose file name does not contain `text`.
    void setFilter(int type, const QString& text);
    int filterType() const { return m_nFilterType; }
    QString filterText() const { return m_strFilterText; }

    static HistoryFileUtils::HistoryFile historyFile(const QListWidgetItem* item);

public slots:
    void addHistoryFile(const HistoryFileUtils::HistoryFile& file);

private:
    void loadStoredHistory();
    QListWidgetItem* createItem(const HistoryFileUtils::HistoryFile& file) const;
    bool matchesFilter(const QListWidgetItem* item) const;

    int m_nFilterType;
    QString m_strFilterText;
};
