#include "platform/framework/VxProductInfo.h"

#include <QMutex>
#include <QMutexLocker>
#include <QSettings>

namespace {

QMutex g_instanceMutex;
VxProductInfo* g_instance = nullptr;

} // namespace

VxProductInfo* VxProductInfo::instance()
{
    QMutexLocker lock(&g_instanceMutex);
    if (!g_instance)
        g_instance = new VxProductInfo;
    return g_instance;
}

void VxProductInfo::release()
{
    QMutexLocker lock(&g_instanceMutex);
    delete g_instance;
    g_instance = nullptr;
}

VxProductInfo::VxProductInfo()
{
    // Keys of [product] are kept by their plain name ("brand"); extension
    // parameters keep their group ("extend/fontFamily", "extend/fontFamily/zh").
    QSettings ini(QStringLiteral(":/product/product.ini"), QSettings::IniFormat);
    const QStringList keys = ini.allKeys();
    for (const QString& key : keys) {
        QString name = key;
        if (name.startsWith(QLatin1String("product/")))
            name = name.mid(8);
        // An unquoted value with commas reads as a list: keep it as one text.
        const QVariant value = ini.value(key);
        m_values.insert(name, value.userType() == QMetaType::QStringList
                                  ? value.toStringList().join(QStringLiteral(", "))
                                  : value.toString());
    }
}

QString VxProductInfo::value(const QString& key, const QString& defaultValue) const
{
    const QString text = m_values.value(key);
    return text.isEmpty() ? defaultValue : text;
}

QString VxProductInfo::productName(const QString& defaultValue) const
{
    return value(QStringLiteral("name"), defaultValue);
}

QString VxProductInfo::productNativeName(const QString& defaultValue) const
{
    return value(QStringLiteral("nativeName"), defaultValue);
}

QString VxProductInfo::productVersion(const QString& defaultValue) const
{
    return value(QStringLiteral("productVersion"), defaultValue);
}

QString VxProductInfo::programVersion() const
{
    return value(QStringLiteral("programVersion"), QString());
}

QString VxProductInfo::brand() const
{
    return value(QStringLiteral("brand"), QString());
}

QString VxProductInfo::companyFullName() const
{
    return value(QStringLiteral("companyFullName"), QString());
}

QString VxProductInfo::defaultLanguage() const
{
    return value(QStringLiteral("defaultLanguage"), QStringLiteral("en"));
}

QString VxProductInfo::defaultSkin() const
{
    return value(QStringLiteral("defaultSkin"), QStringLiteral("default"));
}

QString VxProductInfo::extendParam(const QString& key, const QString& language) const
{
    const QString plain = QStringLiteral("extend/") + key;
    if (!language.isEmpty()) {
        const QString localized = value(plain + QLatin1Char('/') + language, QString());
        if (!localized.isEmpty())
            return localized;
    }
    return value(plain, QString());
}

void VxProductInfo::overrideValue(const QString& key, const QString& value)
{
    m_values.insert(key, value);
}
