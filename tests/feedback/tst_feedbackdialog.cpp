// The feedback form and its package: one form at a time, Send writes the
// description with the registered log paths, and the description file
// reads back as written.
#include <QDir>
#include <QDomDocument>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include "feedback/FeedBackDialog.h"
#include "feedback/FeedbackTask.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"
#include "platform/framework/VxSettings.h"

#define VERIFY_DRIVER(driver) \
    QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))

namespace {

QDomDocument readDescription(const QString& folder)
{
    QDomDocument doc;
    QFile f(folder + "/" + FeedbackTask::kDescriptionFile);
    if (f.open(QIODevice::ReadOnly))
        doc.setContent(&f);
    return doc;
}

int openFeedbackDialogs()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += (qobject_cast<FeedBackDialog*>(w) && w->isVisible()) ? 1 : 0;
    return n;
}

} // namespace

class TstFeedbackDialog : public QObject
{
    Q_OBJECT
private slots:
    void packageReadsBack();
    void packageNeverReusesAFolder();
    void packageInUnwritablePlaceFails();
    void secondShowReturnsAtOnce();
    void sendSavesThePackage();
    void sendWithoutTextAsksForIt();
};

void TstFeedbackDialog::packageReadsBack()
{
    QTemporaryDir root;
    FeedbackTask::Package p;
    p.email = "user@example.org";
    p.content = "It <broke> & \"stopped\"\nsecond line, grüße";
    p.logPaths = QStringList{root.filePath("exists.log"), QStringLiteral("/nonexistent/engine.log")};
    p.productName = "Recorder";
    p.productVersion = "1.2.3";
    QFile log(p.logPaths.at(0));
    QVERIFY(log.open(QIODevice::WriteOnly));
    log.close();

    QString error;
    const QString folder = FeedbackTask::writePackage(p, root.path(), &error);
    QVERIFY2(!folder.isEmpty(), qPrintable(error));
    QVERIFY(folder.startsWith(root.path()));
    const QDomElement top = readDescription(folder).documentElement();
    QCOMPARE(top.tagName(), QString("FeedbackPackage"));
    QCOMPARE(top.firstChildElement("Email").text(), p.email);
    QCOMPARE(top.firstChildElement("Content").text(), p.content);
    QCOMPARE(top.firstChildElement("Product").attribute("version"), QString("1.2.3"));
    const QDomNodeList logs = top.firstChildElement("Logs").elementsByTagName("Log");
    QCOMPARE(logs.size(), 2);
    QCOMPARE(logs.at(0).toElement().text(), p.logPaths.at(0));
    QCOMPARE(logs.at(0).toElement().attribute("exists"), QString("1"));
    QCOMPARE(logs.at(1).toElement().attribute("exists"), QString("0"));
}

void TstFeedbackDialog::packageNeverReusesAFolder()
{
    QTemporaryDir root;
    FeedbackTask::Package p;
    p.content = "first";
    const QString a = FeedbackTask::writePackage(p, root.path());
    p.content = "second";
    const QString b = FeedbackTask::writePackage(p, root.path());
    QVERIFY(!a.isEmpty() && !b.isEmpty());
    QVERIFY(a != b);
    QCOMPARE(readDescription(a).documentElement().firstChildElement("Content").text(), QString("first"));
    QCOMPARE(readDescription(b).documentElement().firstChildElement("Content").text(), QString("second"));
}

void TstFeedbackDialog::packageInUnwritablePlaceFails()
{
    const testsupport::UnwritablePath unwritable;
    QVERIFY(unwritable.ok());
    FeedbackTask::Package p;
    p.content = "x";
    QString error;
    QVERIFY(FeedbackTask::writePackage(p, unwritable.path("feedback"), &error).isEmpty());
    QVERIFY(!error.isEmpty());
}

void TstFeedbackDialog::secondShowReturnsAtOnce()
{
    QWidget parent;
    parent.show();
    bool secondReturned = false;
    int openDuringSecond = -1;
    ModalDriver driver;
    driver.expect(
        [&](QWidget* w) {
            QVERIFY(FeedBackDialog::isShowing());
            FeedBackDialog::showFeedBack(&parent);
            secondReturned = true;
            openDuringSecond = openFeedbackDialogs();
            QTest::mouseClick(w->findChild<QPushButton*>("btnCancel"), Qt::LeftButton);
        },
        "FeedBackDialog");
    FeedBackDialog::showFeedBack(&parent);
    VERIFY_DRIVER(driver);
    QVERIFY(secondReturned);
    QCOMPARE(openDuringSecond, 1);
    QVERIFY(!FeedBackDialog::isShowing());
    QCOMPARE(openFeedbackDialogs(), 0);
    // Closed means a new one may open.
    driver.rejectDialog("FeedBackDialog");
    FeedBackDialog::showFeedBack(&parent);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
}

void TstFeedbackDialog::sendSavesThePackage()
{
    VxSettings::instance()->appendLogPath("/var/log/app.log");
    VxSettings::instance()->appendLogPath("/tmp/Log Files/");
    QWidget parent;
    parent.show();
    ModalDriver driver;
    driver.expect(
        [](QWidget* w) {
            w->findChild<QLineEdit*>("editEmail")->setText("me@example.org");
            w->findChild<QPlainTextEdit*>("editContent")->setPlainText("The sound is missing.");
            w->findChild<QPushButton*>("btnSend")->click();
        },
        "FeedBackDialog");
    driver.clickButton(QMessageBox::Ok);
    FeedBackDialog::showFeedBack(&parent);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
    QCOMPARE(driver.seen().size(), 2);
    const QString told = driver.seen().at(1).text;

    const QStringList packages = QDir(FeedbackTask::feedbackRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    QCOMPARE(packages.size(), 1);
    const QString folder = FeedbackTask::feedbackRoot() + "/" + packages.at(0);
    QVERIFY2(told.contains(QDir::toNativeSeparators(folder)), qPrintable(told));
    const QDomElement top = readDescription(folder).documentElement();
    QCOMPARE(top.firstChildElement("Email").text(), QString("me@example.org"));
    QCOMPARE(top.firstChildElement("Content").text(), QString("The sound is missing."));
    const QDomNodeList logs = top.firstChildElement("Logs").elementsByTagName("Log");
    QStringList paths;
    for (int i = 0; i < logs.size(); ++i)
        paths << logs.at(i).toElement().text();
    QCOMPARE(paths, VxSettings::instance()->logPaths());
    QVERIFY(paths.contains("/var/log/app.log"));
}

void TstFeedbackDialog::sendWithoutTextAsksForIt()
{
    QWidget parent;
    parent.show();
    const int before = QDir(FeedbackTask::feedbackRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size();
    ModalDriver driver;
    QPointer<QWidget> form;
    driver.expect(
        [&](QWidget* w) {
            form = w;
            w->findChild<QPushButton*>("btnSend")->click();
        },
        "FeedBackDialog");
    driver.clickButton(QMessageBox::Ok);
    // Back on the form after the hint: it is still open; cancel it.
    driver.expect([](QWidget* w) { QTest::mouseClick(w->findChild<QPushButton*>("btnCancel"), Qt::LeftButton); },
                  "FeedBackDialog");
    FeedBackDialog::showFeedBack(&parent);
    VERIFY_DRIVER(driver);
    QCOMPARE(driver.pendingSteps(), 0);
    QVERIFY(driver.seen().at(1).text.contains("describe"));
    QCOMPARE(QDir(FeedbackTask::feedbackRoot()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), before);
}

QTEST_MAIN(TstFeedbackDialog)
#include "tst_feedbackdialog.moc"
