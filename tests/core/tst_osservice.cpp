// OS services: moving files with hostile names, the privileged script runner
// (never a real pkexec here), the process table, language codes, opening
// files and folders, and the services Linux has no counterpart for.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <unistd.h>

#include "core/FileSystemUtils.h"
#include "core/OSServiceUtils.h"
#include "tests/support/UrlRecorder.h"

namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(data);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Names that run a command when a shell line is built from them.
const QStringList kHostileNames{
    "$(touch PWNED1).mp4", "`touch PWNED2`.mp4", "a'; touch PWNED3; '.mp4", "b\"; touch PWNED4; \".mp4",
    "-f", "--help", "with blank & amp;.mp4", "ümlaut 录像.mp4", "new\nline.mp4",
};

} // namespace

class TstOSService : public QObject
{
    Q_OBJECT

private slots:
    void cleanup()
    {
        OSServiceUtils::setPrivilegedRunner(nullptr);
    }

    void moveFileWithHostileNames()
    {
        QTemporaryDir tmp;
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        for (const QString& name : kHostileNames) {
            const QString src = tmp.path() + "/" + name;
            // The target folder is made on the way.
            const QString dst = tmp.path() + "/out/deeper/" + name;
            writeFile(src, name.toUtf8());
            QVERIFY2(OSServiceUtils::moveFile(src, dst), qPrintable(name));
            QCOMPARE(readFile(dst), name.toUtf8());
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"out"});
        QCOMPARE(QDir(tmp.path() + "/out/deeper").entryList(QDir::Files).size(), kHostileNames.size());

        // A bare name is a file in the current folder, not a new folder.
        const QString src = tmp.path() + "/out/rec.mp4";
        writeFile(src, "x");
        QVERIFY(OSServiceUtils::moveFile(src, "bare.mp4"));
        QVERIFY(QFileInfo(tmp.path() + "/bare.mp4").isFile());
        QDir::setCurrent(saved);
        // A missing source, an existing folder as target, and a target
        // folder under a regular file all fail and leave the source.
        QVERIFY(!OSServiceUtils::moveFile(src, tmp.path() + "/other.mp4"));
        QVERIFY(!QFileInfo::exists(tmp.path() + "/other.mp4"));
        writeFile(src, "y");
        QDir().mkpath(tmp.path() + "/taken.mp4");
        QVERIFY(!OSServiceUtils::moveFile(src, tmp.path() + "/taken.mp4"));
        QVERIFY(QDir(tmp.path() + "/taken.mp4").isEmpty());
        QVERIFY(!OSServiceUtils::moveFile(src, tmp.path() + "/bare.mp4/inner/rec.mp4"));
        QVERIFY(QFileInfo::exists(src));
    }

    void userExecuteRunsPkexecWithArguments_data()
    {
        QTest::addColumn<int>("install");
        QTest::addColumn<bool>("audioDriver");
        QTest::addColumn<QString>("script");
        QTest::newRow("install plug-in") << 1 << true << "/Resources/install_AudioDriver.sh";
        QTest::newRow("uninstall plug-in") << 0 << true << "/Resources/uninstall_AudioDriver.sh";
        QTest::newRow("install service") << 2 << false << "/Resources/TaskXPC/install_TaskXPC.sh";
    }

    void userExecuteRunsPkexecWithArguments()
    {
        QFETCH(int, install);
        QFETCH(bool, audioDriver);
        QFETCH(QString, script);

        QTemporaryDir tmp;
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        const QString dir = tmp.path() + "/$(touch PWNED) it's \"temp\"";
        QDir().mkpath(dir);

        QString program;
        QStringList args;
        OSServiceUtils::setPrivilegedRunner([&](const QString& p, const QStringList& a) {
            program = p;
            args = a;
            return 0;
        });
        QCOMPARE(OSServiceUtils::UserExecute(dir, install, audioDriver), 0);
        QDir::setCurrent(saved);

        const QString expectedScript = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/.." + script);
        QCOMPARE(program, QStringLiteral("pkexec"));
        QCOMPARE(args, (QStringList{"/bin/bash", expectedScript}));
        // The command is also written down, and a shell reading that record
        // back gets exactly the same arguments.
        const QByteArray record = readFile(dir + "/command.sh");
        QVERIFY(record.startsWith("#!/bin/bash\n"));
        QVERIFY(!record.endsWith('\n'));
        QCOMPARE(record.count('\n'), 1);
        QProcess shell;
        shell.setWorkingDirectory(tmp.path());
        shell.start("bash", {"-c", "pkexec() { printf '%s\\n' \"$@\"; }; source \"$1\"", "bash", dir + "/command.sh"});
        QVERIFY(shell.waitForFinished(10000));
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), args.join('\n') + '\n');
        QVERIFY(!QFileInfo::exists(tmp.path() + "/PWNED"));
        QVERIFY(!QFileInfo::exists(saved + "/PWNED"));
    }

    void userExecuteStatus()
    {
        QTemporaryDir tmp;
        int code = 0;
        bool ran = false;
        OSServiceUtils::setPrivilegedRunner([&](const QString&, const QStringList&) {
            ran = true;
            return code;
        });
        code = 1;
        QCOMPARE(OSServiceUtils::UserExecute(tmp.path(), 1, true), 256);
        code = 126; // pkexec: the password dialog was dismissed
        QCOMPARE(OSServiceUtils::UserExecute(tmp.path(), 1, true), 126 << 8);
        code = -1; // could not start, or crashed
        QCOMPARE(OSServiceUtils::UserExecute(tmp.path(), 0, true), -1);
        // A folder that cannot hold the record does not stop the run.
        writeFile(tmp.path() + "/plain", "z");
        code = 0;
        ran = false;
        QCOMPARE(OSServiceUtils::UserExecute(tmp.path() + "/plain/dir", 1, false), 0);
        QVERIFY(ran);
    }

    void processTable()
    {
        QTemporaryDir tmp;
        const QString sleepProgram = QStandardPaths::findExecutable("sleep");
        QVERIFY(!sleepProgram.isEmpty());
        // A copy with a name nothing else on the machine runs under.
        const QString name = QString("srsleep_%1_%2").arg(::getpid()).arg(QRandomGenerator::global()->generate());
        const QString copy = tmp.path() + "/" + name;
        QVERIFY(QFile::copy(sleepProgram, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));

        QVERIFY(!OSServiceUtils::isRunningProcess(name));
        QProcess sleeper;
        sleeper.start(copy, {"30"});
        QVERIFY(sleeper.waitForStarted());
        const int pid = int(sleeper.processId());
        QVERIFY(OSServiceUtils::isRunningProcess(name));
        QCOMPARE(OSServiceUtils::getProcessPathWithPid(pid), QFileInfo(copy).canonicalFilePath());
        QCOMPARE(OSServiceUtils::getProcessNameWithPid(pid), name);
        sleeper.kill();
        QVERIFY(sleeper.waitForFinished());
        QVERIFY(!OSServiceUtils::isRunningProcess(name));

        QCOMPARE(OSServiceUtils::getProcessPathWithPid(0), QString());
        QCOMPARE(OSServiceUtils::getProcessNameWithPid(-5), QString());
    }

    void languageCodes_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("code");
        QTest::newRow("zh_CN") << QLocale("zh_CN") << "zh_CN";
        QTest::newRow("zh_SG") << QLocale("zh_SG") << "zh_CN";
        QTest::newRow("zh_TW") << QLocale("zh_TW") << "zh_TW";
        QTest::newRow("zh_HK") << QLocale("zh_HK") << "zh_TW";
        QTest::newRow("zh_Hant_CN") << QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::China)
                                    << "zh_TW";
        QTest::newRow("zh_Hans_HK") << QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::HongKong)
                                    << "zh_CN";
        QTest::newRow("en_GB") << QLocale("en_GB") << "en";
        QTest::newRow("ko_KR") << QLocale("ko_KR") << "en";
        QTest::newRow("C") << QLocale::c() << "en";
    }

    void languageCodes()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, code);
        QCOMPARE(OSServiceUtils::languageCodeOf(locale), code);
        QVERIFY(QStringList({"zh_CN", "zh_TW", "en", "fr", "de", "ja", "es", "pt"})
                    .contains(OSServiceUtils::getLocalLanguage()));
    }

    void openFilesAndFolders()
    {
        QTemporaryDir tmp;
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        const QString folder = tmp.path() + "/Vidéos \"quoted\" \\back";
        QDir().mkpath(folder);
        const QString file = folder + "/rec 1.mp4";
        writeFile(file, "x");

        OSServiceUtils::openFileFolder(file, true, true);
        OSServiceUtils::openFileFolder(folder, false, true);
        OSServiceUtils::openFileFolder(folder + "/gone.mp4", true, true);   // nothing
        OSServiceUtils::openFileFolder(folder + "/gone", false, false);
        OSServiceUtils::executeFile(file);
        QDesktopServices::unsetUrlHandler("file");

        QCOMPARE(recorder.urls, (QList<QUrl>{QUrl::fromLocalFile(folder), QUrl::fromLocalFile(folder),
                                             QUrl::fromLocalFile(folder + "/gone"), QUrl::fromLocalFile(file)}));
    }
};

QTEST_MAIN(TstOSService)
#include "tst_osservice.moc"
