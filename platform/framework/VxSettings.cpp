#include "platform/framework/VxSettings.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
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
    m_pSettings = new QSettings(path, QSettings::IniFormat);
    m_pSettings->installEventFilter(new DropDeferredSync(m_pSettings));
    // The posted events need a thread that lives as long as the store, even
    // when a worker thread asked for the store first.
    if (QCoreApplication::instance())
        m_pSettings->moveToThread(QCoreApplication::instance()->thread());
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
    if (m_pSettings->status() != QSettings::NoError)
        Log("VxSettings", 2, "cannot write %s (status %d)", qUtf8Printable(m_pSettings->fileName()),
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
