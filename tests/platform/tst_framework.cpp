// Settings store, product facts, resources, file helpers and analytics.
#include <QApplication>
#include <QColor>
#include <QtTest>

#include <thread>
#include <vector>

#include "platform/log/Log.h"
#include "platform/framework/VXGA.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxFileUtils.h"
#include "platform/framework/VxResourceMgr.h"
#include "platform/framework/VxSettings.h"

namespace {

// The test binary doubles as a second process working on the same store:
// --settings-child <prefix> <n> writes <prefix>/k<i> = i.
int settingsChild(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    VxSettings* settings = VxSettings::instance();
    for (int i = 0; i < QByteArray(argv[3]).toInt(); ++i)
        settings->setApplicationParam(QStringLiteral("%1/k%2").arg(QString::fromLocal8Bit(argv[2])).arg(i), i);
    VxSettings::release();
    return 0;
}

QStringList readLines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

class LanguageProbe : public VxDialogBase
{
public:
    int retranslated = 0;

protected:
    void retranslateDerived() override { ++retranslated; }
};

} // namespace

class TstFramework : public QObject
{
    Q_OBJECT

private slots:
    // Written before the setter returns: another process may read it now.
    void settingsFileIsWrittenAtOnce()
    {
        const QString expected = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
            + QStringLiteral("/ScreenRecorder/ScreenRecorder.ini");
        VxSettings::instance()->setApplicationParam(QStringLiteral("location/probe"), 1);
        QFile file(expected);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("probe=1"));
    }

    void settingsTypesSurviveARestart_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("qint64") << QVariant(qint64(5000000000LL));
        QTest::newRow("string with separators") << QVariant(QStringLiteral("a, b; c = \"d\" \\ é"));
        QTest::newRow("string starting with @") << QVariant(QStringLiteral("@Rect(1 2 3 4)"));
        QTest::newRow("color") << QVariant(QColor(10, 20, 30, 40));
    }

    void settingsTypesSurviveARestart()
    {
        QFETCH(QVariant, value);
        const QString key = QStringLiteral("types/") + QString::fromLatin1(QTest::currentDataTag()).replace(' ', '_');
        VxSettings::instance()->setApplicationParam(key, value);
        VxSettings::release();
        // The default's type tells the store what the caller wants back.
        const QVariant back = VxSettings::instance()->applicationParam(key, QVariant(value.userType(), nullptr));
        QCOMPARE(back.userType(), value.userType());
        QCOMPARE(back, value);
    }

    void settingsListsKeepTheirShape()
    {
        VxSettings* settings = VxSettings::instance();
        const QList<QStringList> lists{{}, {QStringLiteral("only")}, {QStringLiteral("a,b")}};
        for (int i = 0; i < lists.size(); ++i)
            settings->setApplicationParam(QStringLiteral("lists/s%1").arg(i), lists.at(i));
        settings->setApplicationParam(QStringLiteral("present/key"), QStringLiteral("text"));
        VxSettings::release();

        settings = VxSettings::instance();
        for (int i = 0; i < lists.size(); ++i) {
            const QVariant back = settings->applicationParam(QStringLiteral("lists/s%1").arg(i), QStringList());
            QCOMPARE(back.userType(), int(QMetaType::QStringList));
            QCOMPARE(back.toStringList(), lists.at(i));
        }
        // Text that is no number does not turn into the default's type.
        QCOMPARE(settings->applicationParam(QStringLiteral("present/key"), 3).toString(), QStringLiteral("text"));
    }

    void settingsLogPathsBelongToOneRun()
    {
        VxSettings* settings = VxSettings::instance();
        for (const char* path : {"/a.log", "/b/", "/a.log", ""})
            settings->appendLogPath(QString::fromLatin1(path));
        QCOMPARE(settings->logPaths(), (QStringList{QStringLiteral("/a.log"), QStringLiteral("/b/")}));
        VxSettings::release();
        QVERIFY(VxSettings::instance()->logPaths().isEmpty());
    }

    void settingsSharedWithOtherProcesses()
    {
        // Two processes and this one write at the same time: nothing is lost.
        const int perWriter = 25;
        QProcess first;
        QProcess second;
        const QString self = QCoreApplication::applicationFilePath();
        first.start(self, {QStringLiteral("--settings-child"), QStringLiteral("procA"), QString::number(perWriter)});
        second.start(self, {QStringLiteral("--settings-child"), QStringLiteral("procB"), QString::number(perWriter)});
        for (int i = 0; i < perWriter; ++i)
            VxSettings::instance()->setApplicationParam(QStringLiteral("procP/k%1").arg(i), i);
        QVERIFY(first.waitForFinished(60000) && first.exitCode() == 0);
        QVERIFY(second.waitForFinished(60000) && second.exitCode() == 0);
        VxSettings::release();
        VxSettings* settings = VxSettings::instance();
        for (const QString& prefix : {QStringLiteral("procA"), QStringLiteral("procB"), QStringLiteral("procP")})
            for (int i = 0; i < perWriter; ++i)
                QCOMPARE(settings->applicationParam(QStringLiteral("%1/k%2").arg(prefix).arg(i), -1).toInt(), i);
    }

    void settingsConcurrentThreadsLoseNothing()
    {
        const int threads = 4;
        const int perThread = 50;
        VxSettings::release(); // a worker thread makes the store this time
        std::vector<std::thread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                for (int i = 0; i < perThread; ++i)
                    VxSettings::instance()->setApplicationParam(QStringLiteral("t/%1_%2").arg(t).arg(i), t * 1000 + i);
            });
        }
        for (std::thread& worker : workers)
            worker.join();
        VxSettings::release();
        for (int t = 0; t < threads; ++t)
            for (int i = 0; i < perThread; ++i)
                QCOMPARE(VxSettings::instance()->applicationParam(QStringLiteral("t/%1_%2").arg(t).arg(i)).toInt(),
                         t * 1000 + i);
    }

    // A file that is no settings file is kept aside; a later write reports
    // its own outcome, not the old read's, and what it wrote stays.
    void settingsAfterAnUnreadableFile()
    {
        const QString file = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile garbage(file);
        QVERIFY(garbage.open(QIODevice::WriteOnly) && garbage.write("\x01\xff binary [words\n") > 0);
        garbage.close();
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("settings.log"));
        QCOMPARE(SetLogfile(log.toLocal8Bit().constData()), 0);
        VxSettings::instance()->setApplicationParam(QStringLiteral("after/garbage"), 7);
        SetLogfile(nullptr);
        QVERIFY(readLines(log).filter(QLatin1String("cannot write")).isEmpty());
        VxSettings::release();
        QCOMPARE(VxSettings::instance()->applicationParam(QStringLiteral("after/garbage")).toInt(), 7);
        QVERIFY(QFile::exists(file + QStringLiteral(".unreadable")));
    }

    void fileUtilsWritable()
    {
        QTemporaryDir dir;
        QVERIFY(VxFileUtils::isFolderPathWritable(dir.path()));
        // The probe leaves nothing behind.
        QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
        // Root ignores permission bits: a folder under a regular file is the
        // one place nothing can be created.
        const QString file = dir.filePath(QStringLiteral("plain.txt"));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(!VxFileUtils::isFolderPathWritable(file + QStringLiteral("/sub")));
        QCOMPARE(VxFileUtils::makeOSLikePath(QStringLiteral("/a b//c/./d/../e/")), QStringLiteral("/a b/c/e"));
    }

    void resourceLanguagesAndSkins()
    {
        VxResourceMgr* mgr = VxResourceMgr::instance();
        QSignalSpy changed(mgr, &VxResourceMgr::languageChanged);
        LanguageProbe probe;
        probe.show();
        QVERIFY(mgr->setCurrentLanguage(QStringLiteral("de")));
        QTRY_VERIFY(probe.retranslated >= 1);
        QCOMPARE(VxSettings::instance()->currentLanguage(QStringLiteral("en")), QStringLiteral("de"));
        // A language without a catalogue is refused and changes nothing.
        QVERIFY(!mgr->setCurrentLanguage(QStringLiteral("xx")));
        QCOMPARE(mgr->currentLanguage(), QStringLiteral("de"));
        QCOMPARE(changed.count(), 1);

        qApp->setStyleSheet(QString());
        QVERIFY(mgr->setCurrentSkin(QStringLiteral("default")));
        QVERIFY(qApp->styleSheet().contains(QLatin1String("lblMsgInfo")));
        QVERIFY(!mgr->setCurrentSkin(QStringLiteral("no-such-skin")));
        QCOMPARE(mgr->currentSkin(), QStringLiteral("default"));
    }

    void analyticsLogLines()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ga.log"));
        QCOMPARE(SetLogfile(path.toLocal8Bit().constData()), 0);
        VXGA* ga = VXGA::instance();
        ga->startService();
        ga->startOneceTimeCheck();
        ga->CEIP(QStringLiteral("main_entry"), QStringLiteral("main_window_show"), 2, QString(), 0);
        ga->CEIP(QStringLiteral("c"), QStringLiteral("a"), 1, QStringLiteral("100% %s %n"), 5);
        ga->stopService();
        SetLogfile(nullptr);

        // Lines logged before the first log file existed are copied into it.
        const QStringList lines = readLines(path).filter(QLatin1String("[VXGA]"));
        QCOMPARE(lines.size(), 5);
        QVERIFY(lines.at(2).endsWith(
            QLatin1String("CEIP category=[main_entry] action=[main_window_show] type=2 label=[] value=0")));
        QVERIFY(lines.at(3).endsWith(QLatin1String("label=[100% %s %n] value=5")));
        VXGA::release();
    }
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "--settings-child") == 0)
        return settingsChild(argc, argv);
    QApplication app(argc, argv);
    TstFramework test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_framework.moc"
