#pragma once

#include <QSettings>
#include <QStringList>
#include <QVariant>

#include <mutex>

// The program's settings store: one INI file under the user's config folder.
// Every call is guarded by one mutex (the save worker reads settings from its
// own thread) and each write is synced at once, so a crash loses nothing and
// a second instance reading the same file sees it.
class VxSettings
{
public:
    static VxSettings* instance();
    static void release();

    QVariant applicationParam(const QString& key, const QVariant& defaultValue = QVariant()) const;
    void setApplicationParam(const QString& key, const QVariant& value);
    void removeApplicationParam(const QString& key);
    bool containsApplicationParam(const QString& key) const;

    QString currentLanguage(const QString& defaultValue) const;
    void setCurrentLanguage(const QString& name);
    QString currentSkin(const QString& defaultValue) const;
    void setCurrentSkin(const QString& name);

    // Log files gathered into a feedback package (kept for this run only).
    void appendLogPath(const QString& path);
    QStringList logPaths() const;

    QString fileName() const;

private:
    VxSettings();
    ~VxSettings();
    VxSettings(const VxSettings&) = delete;
    VxSettings& operator=(const VxSettings&) = delete;

    static QSettings* openStore(const QString& path);
    void setAsideUnreadable();

    mutable std::mutex m_mutex;
    QSettings* m_pSettings = nullptr;
    QStringList m_lstLogPaths;
};
