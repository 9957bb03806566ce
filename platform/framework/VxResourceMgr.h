#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QTranslator;

// Languages (Qt translators from ":/i18n/<name>.qm") and skins (style sheets
// from ":/skins/<name>.qss"); changes are stored in VxSettings.
class VxResourceMgr : public QObject
{
    Q_OBJECT
public:
    static VxResourceMgr* instance();
    static void release();

    double getZoomDPI() const;
    QString currentLanguage() const;
    bool setCurrentLanguage(const QString& name);
    QString currentSkin() const;
    bool setCurrentSkin(const QString& name);
    QStringList availableLanguages() const;
    QString applicationLargeIconPath() const;

signals:
    void languageChanged(const QString& name);
    void skinChanged(const QString& name);

private:
    VxResourceMgr();
    ~VxResourceMgr() override;

    QString m_strLanguage;
    QString m_strSkin;
    QTranslator* m_pTranslator = nullptr;
};
