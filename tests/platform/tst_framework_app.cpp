// Framework::init/uninit own the application object: this test has its own
// main() so that no application exists before init.
#include <QApplication>
#include <QDesktopServices>
#include <QtTest>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/framework/Framework.h"
#include "platform/log/Log.h"
#include "platform/framework/VxResourceMgr.h"
#include "tests/support/TestHelpers.h"

namespace {

QStringList g_hookLines;

void hook(char* text)
{
    g_hookLines << QString::fromUtf8(text);
}

// A command line whose strings are freed and overwritten after init(): the
// framework must not keep pointers into it.
class Argv
{
public:
    explicit Argv(const QStringList& args)
    {
        for (const QString& arg : args)
            m_args.push_back(strdup(arg.toLocal8Bit().constData()));
        m_args.push_back(nullptr);
    }
    ~Argv() { scrub(); }
    int argc() const { return int(m_args.size()) - 1; }
    char** argv() { return m_args.data(); }
    void scrub()
    {
        for (char*& arg : m_args) {
            if (arg)
                std::memset(arg, 'X', std::strlen(arg));
            std::free(arg);
            arg = nullptr;
        }
    }

private:
    std::vector<char*> m_args;
};

} // namespace

class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl& url) { urls << url; }
};

class TstFrameworkApp : public QObject
{
    Q_OBJECT

private slots:
    void initCreatesAndUninitDeletesTwice()
    {
        for (int round = 0; round < 2; ++round) {
            QVERIFY(!QCoreApplication::instance());
            Argv args({QStringLiteral("screenrecorder"), QStringLiteral("--flag"), QStringLiteral("value")});
            QVERIFY(Framework::init(0, args.argc(), args.argv()));
            args.scrub();
            auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
            QVERIFY(app);
            QCOMPARE(Framework::application(), app);
            QCOMPARE(QCoreApplication::arguments().mid(1),
                     (QStringList{QStringLiteral("--flag"), QStringLiteral("value")}));
            // Resources that belong to the application work in each round.
            QVERIFY(VxResourceMgr::instance()->setCurrentSkin(QStringLiteral("default")));
            QVERIFY(!app->styleSheet().isEmpty());
            Framework::uninit();
            QVERIFY(!QCoreApplication::instance());
            QVERIFY(!Framework::application());
        }
    }

    void hostApplicationIsLeftAlone()
    {
        static int argc = 1;
        static char name[] = "host";
        static char* argv[] = {name, nullptr};
        auto* host = new QApplication(argc, argv);
        QVERIFY(Framework::init(0, argc, argv));
        QCOMPARE(Framework::application(), host);
        Framework::uninit();
        QCOMPARE(QCoreApplication::instance(), host);
        delete host;
    }

    void frameworkLinesGoToHookOrLog()
    {
        g_hookLines.clear();
        Argv args({QStringLiteral("sr")});
        QVERIFY(Framework::init(0, args.argc(), args.argv()));
        Framework::m_pLog = hook;
        Framework::startService();
        Framework::uninit();
        QVERIFY(g_hookLines.contains(QStringLiteral("startService")));
        QVERIFY(g_hookLines.contains(QStringLiteral("uninit")));
        QVERIFY(!Framework::m_pLog); // uninit puts the hook back

        // Without a hook the lines reach the log library, text intact.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("fw.log"));
        QCOMPARE(SetLogfile(path.toLocal8Bit().constData()), 0);
        UrlCatcher catcher;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &catcher, "open");
        Argv url({QStringLiteral("sr"), QStringLiteral("--open-url"), QStringLiteral("https://h.example/%25s%25n")});
        QVERIFY(Framework::init(0, url.argc(), url.argv()));
        QVERIFY(Framework::isAppUsedToPopUrl());
        Framework::uninit();
        QCOMPARE(catcher.urls, QList<QUrl>{QUrl(QStringLiteral("https://h.example/%25s%25n"))});
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        SetLogfile(nullptr);
        const QString log = QString::fromUtf8(testsupport::readFile(path));
        QVERIFY2(log.contains(QLatin1String("[Framework] INFO: isAppUsedToPopUrl: opening https://h.example/%25s%25n")),
                 qPrintable(log));
        QVERIFY(log.contains(QLatin1String("[Framework] INFO: uninit")));
    }
};

int main(int argc, char** argv)
{
    TstFrameworkApp test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_framework_app.moc"
