#include "feedback/FeedbackTask.h"

#include <QDateTime>
#include <QDir>
#include <QDomDocument>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include "platform/log/Log.h"

namespace {

QDomElement addText(QDomDocument& doc, QDomElement& parent, const QString& tag, const QString& text)
{
    QDomElement e = doc.createElement(tag);
    e.appendChild(doc.createTextNode(text));
    parent.appendChild(e);
    return e;
}

QString fail(QString* error, const QString& reason)
{
    if (error)
        *error = reason;
    Log("FeedBack", LogLevel::Error, "feedback package not written: %s", qPrintable(reason));
    return QString();
}

} // namespace

QString FeedbackTask::feedbackRoot()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/ScreenRecorder/feedback");
}

QString FeedbackTask::writePackage(const Package& package, const QString& root, QString* error)
{
    const QDateTime now = QDateTime::currentDateTime();
    const QString base = root + QStringLiteral("/feedback-")
                         + now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString folder = base;
    for (int n = 1; QFileInfo::exists(folder); ++n)
        folder = base + QStringLiteral("_%1").arg(n);
    if (!QDir().mkpath(folder))
        return fail(error, QObject::tr("The folder %1 cannot be created.").arg(QDir::toNativeSeparators(folder)));

    QDomDocument doc;
    doc.appendChild(doc.createProcessingInstruction(QStringLiteral("xml"),
                                                    QStringLiteral("version=\"1.0\" encoding=\"UTF-8\"")));
    QDomElement top = doc.createElement(QStringLiteral("FeedbackPackage"));
    top.setAttribute(QStringLiteral("version"), 1);
    doc.appendChild(top);

    QDomElement product = doc.createElement(QStringLiteral("Product"));
    product.setAttribute(QStringLiteral("name"), package.productName);
    product.setAttribute(QStringLiteral("version"), package.productVersion);
    top.appendChild(product);
    addText(doc, top, QStringLiteral("Created"), now.toString(Qt::ISODate));
    addText(doc, top, QStringLiteral("Email"), package.email);
    addText(doc, top, QStringLiteral("Content"), package.content);

    QDomElement logs = doc.createElement(QStringLiteral("Logs"));
    for (const QString& path : package.logPaths) {
        QDomElement log = addText(doc, logs, QStringLiteral("Log"), path);
        log.setAttribute(QStringLiteral("exists"), QFileInfo::exists(path) ? 1 : 0);
    }
    top.appendChild(logs);

    QSaveFile file(folder + QLatin1Char('/') + QLatin1String(kDescriptionFile));
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, file.errorString());
    file.write(doc.toByteArray(2));
    if (!file.commit())
        return fail(error, file.errorString());
    Log("FeedBack", LogLevel::Info, "feedback package written to %s", qPrintable(folder));
    return folder;
}
