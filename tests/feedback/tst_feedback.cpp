// The telemetry file (whole JSON lines from several threads) and the feedback
// form: one at a time, its package written with the log paths and read back.
#include <QtTest>
#include <QDomDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QTextEdit>
#include <QPushButton>

#include "core/CEIPWrapper.h"
#include "feedback/FeedBackDialog.h"
#include "feedback/FeedbackTask.h"
#include "platform/framework/VxSettings.h"
#include "widgets/CustomCombox.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"


namespace {

QList<QJsonObject> readLines(const QString& path, bool* allWhole = nullptr)
{
    QList<QJsonObject> lines;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return lines;
    const QByteArray all = f.readAll();
    if (allWhole)
        *allWhole = all.isEmpty() || all.endsWith('\n');
    for (const QByteArray& line : all.split('\n')) {
        if (line.isEmpty())
            continue;
        const QJsonDocument doc = QJsonDocument::fromJson(line);
        if (!doc.isObject() && allWhole)
            *allWhole = false;
        lines << doc.object();
    }
    return lines;
}

QDomElement readDescription(const QString& folder)
{
    QDomDocument doc;
    QFile f(folder + "/" + FeedbackTask::kDescriptionFile);
    if (f.open(QIODevice::ReadOnly))
        doc.setContent(&f);
    return doc.documentElement();
}

QStringList packages()
{
    return QDir(FeedbackTask::feedbackRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

} // namespace

class TstFeedback : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CEIPWrapper::release(); }

    void telemetryLinesInOrder()
    {
        CEIPWrapper* ceip = CEIPWrapper::instance();
        const QString path = ceip->telemetryFilePath();
        QVERIFY(path.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                                + "/ScreenRecorder/telemetry/"));
        ceip->MakeEvent(5000);
        ceip->MakeEvent_CEIP_Version();
        ceip->MakeEvent_kModular_Recording_Result(1);
        const QList<QJsonObject> lines = readLines(path);
        QCOMPARE(lines.size(), 3);
        // The version record is always first.
        QCOMPARE(lines.at(0), QJsonObject({{"Version", 1}}));
        QCOMPARE(lines.at(1).value("id").toInt(), 5000);
        QVERIFY(QDateTime::fromString(lines.at(1).value("time").toString(), Qt::ISODateWithMs).isValid());
        QCOMPARE(lines.at(2).value("data").toObject(), QJsonObject({{"key_Recording_Result", 1}}));
        // Each run has a file of its own; the last five runs' stay.
        for (int run = 0; run < 7; ++run) {
            CEIPWrapper::release();
            CEIPWrapper::instance()->MakeEvent(3000);
        }
        QVERIFY(CEIPWrapper::instance()->telemetryFilePath() != path);
        const QStringList kept = QDir(CEIPWrapper::telemetryDir()).entryList({"*.jsonl"}, QDir::Files);
        QCOMPARE(kept.size(), 5);
        QVERIFY(kept.contains(QFileInfo(CEIPWrapper::instance()->telemetryFilePath()).fileName()));
        QVERIFY(!kept.contains(QFileInfo(path).fileName()));
    }

    void telemetryFromFourThreadsStaysWhole()
    {
        const int perThread = 500;
        QList<QThread*> threads;
        for (int t = 0; t < 4; ++t) {
            threads << QThread::create([t, perThread] {
                for (int i = 0; i < perThread; ++i)
                    CEIPWrapper::instance()->MakeEvent_kModular_Save_Result(t * 10000 + i);
            });
            threads.last()->start();
        }
        for (QThread* th : threads) {
            QVERIFY(th->wait(60000));
            delete th;
        }
        bool whole = false;
        const QList<QJsonObject> lines = readLines(CEIPWrapper::instance()->telemetryFilePath(), &whole);
        QVERIFY(whole);
        QCOMPARE(lines.size(), 4 * perThread + 1);
        QCOMPARE(lines.at(0), QJsonObject({{"Version", 1}}));
    }

    void telemetryInAnUnwritableFolderIsDroppedQuietly()
    {
        const testsupport::UnwritablePath unwritable;
        QVERIFY(unwritable.ok());
        CEIPWrapper* ceip = nullptr;
        {
            testsupport::ScopedEnv env("XDG_DATA_HOME", QFile::encodeName(unwritable.path("data")).constData());
            ceip = CEIPWrapper::instance();
        }

        ceip->MakeEvent(3000);
        QVERIFY(!QFile::exists(ceip->telemetryFilePath()));
    }

    void packageReadsBackAndNeverReusesAFolder()
    {
        QTemporaryDir root;
        FeedbackTask::Package p;
        p.content = "It <broke> & \"stopped\"\nsecond line, grüße";
        p.logPaths = QStringList{root.filePath("exists.log"), QStringLiteral("/nonexistent/engine.log")};
        QVERIFY(testsupport::writeFile(p.logPaths.at(0), "x"));
        QString error;
        const QString folder = FeedbackTask::writePackage(p, root.path(), &error);
        QVERIFY2(!folder.isEmpty(), qPrintable(error));
        const QDomElement top = readDescription(folder);
        QCOMPARE(top.firstChildElement("Content").text(), p.content);
        const QDomNodeList logs = top.firstChildElement("Logs").elementsByTagName("Log");
        QCOMPARE(logs.size(), 2);
        QCOMPARE(logs.at(0).toElement().attribute("exists"), QString("1"));
        QCOMPARE(logs.at(1).toElement().attribute("exists"), QString("0"));
        const QString again = FeedbackTask::writePackage(p, root.path());
        QVERIFY(!again.isEmpty() && again != folder);

        const testsupport::UnwritablePath unwritable;
        QVERIFY(unwritable.ok());
        QVERIFY(FeedbackTask::writePackage(p, unwritable.path("feedback"), &error).isEmpty());
        QVERIFY(!error.isEmpty());
    }

    void secondShowReturnsAtOnceAndTheFormIsAnOpenDialog()
    {
        QWidget parent;
        parent.show();
        bool secondReturned = false;
        QList<QDialog*> open;
        ModalDriver driver;
        driver.expect(
            [&](QWidget* w) {
                FeedBackDialog::showFeedBack(&parent);
                secondReturned = FeedBackDialog::isShowing();
                // A recording about to start ends the open dialogs it finds:
                // the form must be one of them.
                open = VxDialogBase::getAllExecDialogs();
                QCOMPARE(open, QList<QDialog*>{qobject_cast<QDialog*>(w)});
                open.first()->reject();
            },
            "FeedBackDialog");
        FeedBackDialog::showFeedBack(&parent);
        VERIFY_DRIVER(driver);
        QVERIFY(secondReturned);
        QCOMPARE(open.size(), 1);
        QVERIFY(!FeedBackDialog::isShowing());
    }

    void sendAsksForTextThenSavesThePackage()
    {
        VxSettings::instance()->appendLogPath("/var/log/app.log");
        VxSettings::instance()->appendLogPath("/var/log/crash.log");
        VxSettings::instance()->appendLogPath("/tmp/Log Files/");
        QWidget parent;
        parent.show();
        ModalDriver driver;
        // Without text: a hint, and the form stays open.
        driver.expect([](QWidget* w) { w->findChild<QPushButton*>("btnSend")->click(); }, "FeedBackDialog");
        driver.clickButton(QMessageBox::Ok);
        driver.expect(
            [](QWidget* w) {
                w->findChild<QLineEdit*>("editEmail")->setText("me@example.org");
                w->findChild<QTextEdit*>("editContent")->setPlainText("The sound is missing.");
                // The logs are attachments; the user takes the middle one out.
                auto* attachments = w->findChild<CustomCombox*>("cmbAttachments");
                QCOMPARE(attachments->getAllText(), (QStringList{"app.log", "crash.log", "/tmp/Log Files/"}));
                attachments->triggerRemoveItem(1);
                QTRY_COMPARE(attachments->getAllText().size(), 2);
                w->findChild<QPushButton*>("btnSend")->click();
            },
            "FeedBackDialog");
        driver.clickButton(QMessageBox::Ok);
        FeedBackDialog::showFeedBack(&parent);
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.pendingSteps(), 0);
        QVERIFY(driver.seen().at(1).text.contains("describe"));
        const QString told = driver.seen().at(3).text;

        QCOMPARE(packages().size(), 1);
        const QString folder = FeedbackTask::feedbackRoot() + "/" + packages().at(0);
        QVERIFY2(told.contains(QDir::toNativeSeparators(folder)), qPrintable(told));
        const QDomElement top = readDescription(folder);
        QCOMPARE(top.firstChildElement("Email").text(), QString("me@example.org"));
        QCOMPARE(top.firstChildElement("Content").text(), QString("The sound is missing."));
        const QDomNodeList logs = top.firstChildElement("Logs").elementsByTagName("Log");
        QStringList paths;
        for (int i = 0; i < logs.size(); ++i)
            paths << logs.at(i).toElement().text();
        QCOMPARE(paths, (QStringList{"/var/log/app.log", "/tmp/Log Files/"}));
    }
};

QTEST_MAIN(TstFeedback)
#include "tst_feedback.moc"
