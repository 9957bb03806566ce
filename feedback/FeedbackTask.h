#pragma once

#include <QString>
#include <QStringList>

// Writes a feedback package: a folder with the description file
// "feedback.xml" that names the user's text, address and the log files an
// uploader would pack. No uploader exists on this system, so the folder is
// what the user can send by other means.
class FeedbackTask
{
public:
    struct Package
    {
        QString email;
        QString content;
        QStringList logPaths;
        QString productName;
        QString productVersion;
    };

    static constexpr const char* kDescriptionFile = "feedback.xml";

    // The folder that holds every package.
    static QString feedbackRoot();

    // Creates a new package folder under root (never reusing one) and writes
    // the description there. Returns the folder, or an empty text with the
    // reason in error.
    static QString writePackage(const Package& package, const QString& root, QString* error = nullptr);
};
