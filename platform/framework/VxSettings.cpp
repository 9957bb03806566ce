#include "platform/framework/VxSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "platform/log/Log.h"

namespace {

// Standard mutexes rather than QMutex: ThreadSanitizer understands the
// pthread locks underneath them, not QMutex's own futex fast path.
std::mutex g_instanceMutex;
VxSettings* g_instance = nullptr;

const char kLanguageKey[] = "Language/current";
const char kSkinKey[] = "Skin/current";

// Every write is synced under the store's mutex. QSettings also posts itself
// a deferred sync that would run later on its own thread without that mutex,
// racing a writer on another thread: it is dropped.
class DropDeferredSync : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        Q_UNUSED(watched);
        return event->type() == QEvent::UpdateRequest;
    }
};

} // namespace

VxSettings* VxSettings::instance()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    if (!g_instance)
        g_instance = new VxSettings;
    return g_instance;
}

void VxSettings::release()
{
    std::lock_guard<std::mutex> lock(g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

VxSettings::VxSettings()
{
    // Not tied to the application's names: the store must be the same file
    // before the application object exists and in helper processes.
    const QString path = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/ScreenRecorder/ScreenRecorder.ini");
    QDir().mkpath(QFileInfo(path).absolutePath());
    m_pSettings = openStore(path);
    // Sections are parsed when first used: all of them now, so a file that
    // cannot be parsed shows at once rather than at some later write.
    m_pSettings->allKeys();
    if (m_pSettings->status() != QSettings::NoError)
        setAsideUnreadable();
}

QSettings* VxSettings::openStore(const QString& path)
{
    auto* settings = new QSettings(path, QSettings::IniFormat);
    settings->installEventFilter(new DropDeferredSync(settings));
    // The posted events need a thread that lives as long as the store, even
    // when a worker thread asked for the store first.
    if (QCoreApplication::instance())
        settings->moveToThread(QCoreApplication::instance()->thread());
    return settings;
}

// QSettings keeps the first error it met for good, so after a file it could
// not parse every later write would look failed. What could be read goes
// into a fresh store; the old file stays beside it for its owner.
void VxSettings::setAsideUnreadable()
{
    const QString path = m_pSettings->fileName();
    const int status = static_cast<int>(m_pSettings->status());
    QVariantMap values;
    for (const QString& key : m_pSettings->allKeys())
        values.insert(key, m_pSettings->value(key));
    delete m_pSettings;
    const QString aside = path + QStringLiteral(".unreadable");
    QFile::remove(aside);
    const bool moved = QFile::rename(path, aside);
    Log("VxSettings", LogLevel::Error, "%s could not be read (status %d); %s", qUtf8Printable(path), status,
        moved ? qUtf8Printable(QStringLiteral("kept as ") + aside) : "it could not be set aside");
    m_pSettings = openStore(path);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        m_pSettings->setValue(it.key(), it.value());
    m_pSettings->sync();
}

VxSettings::~VxSettings()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSettings->sync();
    delete m_pSettings;
}

QVariant VxSettings::applicationParam(const QString& key, const QVariant& defaultValue) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QVariant value = m_pSettings->value(key, defaultValue);
    if (!defaultValue.isValid() || value.userType() == defaultValue.userType())
        return value;
    // The INI file keeps no types: a one-element list comes back as its only
    // text and an empty list as an invalid value. Give callers the type of
    // the default they passed when the stored text converts to it.
    if (!value.isValid())
        return QVariant(defaultValue.userType(), nullptr);
    QVariant converted = value;
    if (converted.convert(defaultValue.userType()))
        return converted;
    return value;
}

void VxSettings::setApplicationParam(const QString& key, const QVariant& value)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSettings->setValue(key, value);
    m_pSettings->sync();
    // A format error comes from reading (a file another process left), never
    // from writing: only an access error says this write failed.
    if (m_pSettings->status() == QSettings::AccessError)
        Log("VxSettings", LogLevel::Error, "cannot write %s (status %d)", qUtf8Printable(m_pSettings->fileName()),
            static_cast<int>(m_pSettings->status()));
}

void VxSettings::removeApplicationParam(const QString& key)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSettings->remove(key);
    m_pSettings->sync();
}

bool VxSettings::containsApplicationParam(const QString& key) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pSettings->contains(key);
}

QString VxSettings::currentLanguage(const QString& defaultValue) const
{
    const QString name = applicationParam(QLatin1String(kLanguageKey), defaultValue).toString();
    return name.isEmpty() ? defaultValue : name;
}

void VxSettings::setCurrentLanguage(const QString& name)
{
    setApplicationParam(QLatin1String(kLanguageKey), name);
}

QString VxSettings::currentSkin(const QString& defaultValue) const
{
    const QString name = applicationParam(QLatin1String(kSkinKey), defaultValue).toString();
    return name.isEmpty() ? defaultValue : name;
}

void VxSettings::setCurrentSkin(const QString& name)
{
    setApplicationParam(QLatin1String(kSkinKey), name);
}

void VxSettings::appendLogPath(const QString& path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!path.isEmpty() && !m_lstLogPaths.contains(path))
        m_lstLogPaths << path;
}

QStringList VxSettings::logPaths() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lstLogPaths;
}

QString VxSettings::fileName() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pSettings->fileName();
}
