#pragma once

#include <QHash>
#include <QString>

// Facts about the product, read once from the resource ":/product/product.ini".
// An absent value gives the caller's default (or empty text).
class VxProductInfo
{
public:
    static VxProductInfo* instance();
    static void release();

    QString productName(const QString& defaultValue = QString()) const;
    QString productNativeName(const QString& defaultValue = QString()) const;
    QString productVersion(const QString& defaultValue = QString()) const;
    QString programVersion() const;
    QString brand() const;
    QString companyFullName() const;
    QString defaultLanguage() const;
    QString defaultSkin() const;
    // A per-product text parameter; the language-specific value
    // ("key/<language>") wins over the plain one; empty when absent.
    QString extendParam(const QString& key, const QString& language = QString()) const;

    // Tests and the brand table need to see the program as another product.
    // key: a product value by name ("name", "nativeName", "productVersion",
    // "programVersion", "brand", "companyFullName", "defaultLanguage",
    // "defaultSkin") or an extension parameter as "extend/<key>[/<language>]".
    // Not thread-safe: set values before other threads read them.
    void overrideValue(const QString& key, const QString& value);

private:
    VxProductInfo();
    QString value(const QString& key, const QString& defaultValue) const;

    QHash<QString, QString> m_values;
};
