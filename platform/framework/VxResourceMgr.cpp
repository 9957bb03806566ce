#include "platform/framework/VxResourceMgr.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QScreen>
#include <QTranslator>

#include "platform/log/Log.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"

namespace {

QMutex g_instanceMutex;
VxResourceMgr* g_instance = nullptr;

QString translationPath(const QString& name)
{
    return QStringLiteral(":/i18n/%1.qm").arg(name);
}

} // namespace

VxResourceMgr* VxResourceMgr::instance()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance = new VxResourceMgr;
    return g_instance;
}

void VxResourceMgr::release()
{
    QMutexLocker lock(&g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

VxResourceMgr::VxResourceMgr() = default;

VxResourceMgr::~VxResourceMgr()
{
    if (m_pTranslator && QCoreApplication::instance())
        QCoreApplication::removeTranslator(m_pTranslator);
    delete m_pTranslator;
}

double VxResourceMgr::getZoomDPI() const
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return 1.0;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->devicePixelRatio() : 1.0;
}

QString VxResourceMgr::currentLanguage() const
{
    if (!m_strLanguage.isEmpty())
        return m_strLanguage;
    return VxSettings::instance()->currentLanguage(VxProductInfo::instance()->defaultLanguage());
}

bool VxResourceMgr::setCurrentLanguage(const QString& name)
{
    if (name.isEmpty())
        return false;
    QTranslator* translator = nullptr;
    const QString path = translationPath(name);
    if (QFile::exists(path)) {
        translator = new QTranslator;
        if (!translator->load(path)) {
            Log("VxResourceMgr", LogLevel::Error, "cannot load translation %s", qUtf8Printable(path));
            delete translator;
            return false;
        }
    } else if (name != QLatin1String("en")) {
        // English is the source language and needs no translation file.
        Log("VxResourceMgr", LogLevel::Error, "no translation for language %s", qUtf8Printable(name));
        return false;
    }

    const bool changed = name != m_strLanguage;
    const bool haveApp = QCoreApplication::instance() != nullptr;
    // Qt sends LanguageChange when a translator goes, and when one comes
    // unless its catalogue is empty; windows expect one for every change.
    bool notified = false;
    if (m_pTranslator) {
        if (haveApp)
            notified = QCoreApplication::removeTranslator(m_pTranslator);
        delete m_pTranslator;
        m_pTranslator = nullptr;
    }
    if (translator) {
        if (haveApp)
            notified = QCoreApplication::installTranslator(translator) || notified;
        m_pTranslator = translator;
    }
    if (!notified && changed && haveApp) {
        QEvent event(QEvent::LanguageChange);
        QCoreApplication::sendEvent(QCoreApplication::instance(), &event);
    }
    m_strLanguage = name;
    VxSettings::instance()->setCurrentLanguage(name);
    if (changed)
        emit languageChanged(name);
    return true;
}

QString VxResourceMgr::currentSkin() const
{
    if (!m_strSkin.isEmpty())
        return m_strSkin;
    return VxSettings::instance()->currentSkin(VxProductInfo::instance()->defaultSkin());
}

bool VxResourceMgr::setCurrentSkin(const QString& name)
{
    if (name.isEmpty())
        return false;
    QFile file(QStringLiteral(":/skins/%1.qss").arg(name));
    if (!file.open(QIODevice::ReadOnly)) {
        Log("VxResourceMgr", LogLevel::Error, "no skin %s", qUtf8Printable(name));
        return false;
    }
    const QString styleSheet = QString::fromUtf8(file.readAll());
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance()))
        app->setStyleSheet(styleSheet);
    const bool changed = name != m_strSkin;
    m_strSkin = name;
    VxSettings::instance()->setCurrentSkin(name);
    if (changed)
        emit skinChanged(name);
    return true;
}

QStringList VxResourceMgr::availableLanguages() const
{
    QStringList names{QStringLiteral("en")};
    const QStringList files = QDir(QStringLiteral(":/i18n")).entryList({QStringLiteral("*.qm")}, QDir::Files);
    for (const QString& file : files) {
        const QString name = file.left(file.size() - 3);
        if (!names.contains(name))
            names << name;
    }
    names.sort();
    return names;
}

QString VxResourceMgr::applicationLargeIconPath() const
{
    return QStringLiteral(":/framework/icons/app.png");
}
