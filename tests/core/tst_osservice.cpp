// OS services: hostile file names, the privileged runner (never a real pkexec),
// the process table, language codes, opening files and folders.
#include <QApplication>
#include <QDesktopServices>
#include <QtTest>

#include <unistd.h>

#include "core/OSServiceUtils.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/UrlRecorder.h"

using testsupport::readFile;
using testsupport::writeFile;

class TstOSService : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { OSServiceUtils::setPrivilegedRunner(nullptr); }

    void moveFileWithHostileNames()
    {
        QTemporaryDir tmp;
        const QString saved = QDir::currentPath();
        QVERIFY(QDir::setCurrent(tmp.path()));
        // Names that run a command or read as options when a command line
        // is built from them.
        for (const QString name : {"$(touch PWNED1).mp4", "a'; touch PWNED3; '.mp4", "-f", "new\nline.mp4"}) {
            const QString src = tmp.path() + "/" + name;
            // The target folder is made on the way.
            const QString dst = tmp.path() + "/out/deeper/" + name;
            QVERIFY(writeFile(src, name.toUtf8()));
            QVERIFY2(OSServiceUtils::moveFile(src, dst), qPrintable(name));
            QCOMPARE(readFile(dst), name.toUtf8());
        }
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot), QStringList{"out"});

        // A bare name is a file in the current folder, not a new folder.
        const QString src = tmp.path() + "/out/rec.mp4";
        QVERIFY(writeFile(src, "x"));
        QVERIFY(OSServiceUtils::moveFile(src, "bare.mp4"));
        QVERIFY(QFileInfo(tmp.path() + "/bare.mp4").isFile());
        QDir::setCurrent(saved);
        // An existing folder as target, and a target folder under a regular
        // file, fail and leave the source.
        QVERIFY(writeFile(src, "y"));
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
        QTest::addColumn<QString>("runner");   // sound runs as the user, the service as root
        QTest::newRow("uninstall plug-in") << 0 << true << "/Resources/uninstall_AudioDriver.sh" << "bash";
        QTest::newRow("install service") << 2 << false << "/Resources/TaskXPC/install_TaskXPC.sh" << "pkexec";
    }

    void userExecuteRunsPkexecWithArguments()
    {
        QFETCH(int, install);
        QFETCH(bool, audioDriver);
        QFETCH(QString, script);
        QFETCH(QString, runner);
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
            return 1;
        });
        QCOMPARE(OSServiceUtils::UserExecute(dir, install, audioDriver), 256);
        QDir::setCurrent(saved);

        const QString expectedScript = QDir::cleanPath(QCoreApplication::applicationDirPath() + "/.." + script);
        QCOMPARE(program, runner);
        const QStringList expected =
            runner == "pkexec" ? QStringList{"/bin/bash", expectedScript} : QStringList{expectedScript};
        QCOMPARE(args, expected);
        // The command is also written down, and a shell reading that record
        // back gets exactly the same arguments.
        QVERIFY(readFile(dir + "/command.sh").startsWith("#!/bin/bash\n"));
        QProcess shell;
        shell.setWorkingDirectory(tmp.path());
        shell.start("bash", {"-c", "pkexec() { printf '%s\\n' \"$@\"; }; bash() { pkexec \"$@\"; }; source \"$1\"", "bash", dir + "/command.sh"});
        QVERIFY(shell.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(shell.readAllStandardOutput()), args.join('\n') + '\n');
        QVERIFY(!QFileInfo::exists(tmp.path() + "/PWNED"));
        QVERIFY(!QFileInfo::exists(saved + "/PWNED"));
    }

    void userExecuteStatus()
    {
        QTemporaryDir tmp;
        int code = -1; // could not start, or crashed
        OSServiceUtils::setPrivilegedRunner([&](const QString&, const QStringList&) { return code; });
        QCOMPARE(OSServiceUtils::UserExecute(tmp.path(), 0, true), -1);
        // A folder that cannot hold the record does not stop the run.
        QVERIFY(writeFile(tmp.path() + "/plain", "z"));
        code = 126; // pkexec: the password dialog was dismissed
        QCOMPARE(OSServiceUtils::UserExecute(tmp.path() + "/plain/dir", 1, false), 126 << 8);
    }

    void processTable()
    {
        QTemporaryDir tmp;
        // A copy of sleep with a name nothing else on the machine runs under.
        const QString name = QString("srsleep_%1_%2").arg(::getpid()).arg(QRandomGenerator::global()->generate());
        const QString copy = tmp.path() + "/" + name;
        QVERIFY(QFile::copy(QStandardPaths::findExecutable("sleep"), copy));
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
    }

    void languageCodes_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("code");
        QTest::newRow("zh_HK") << QLocale("zh_HK") << "zh_TW";
        QTest::newRow("zh_Hans_HK") << QLocale(QLocale::Chinese, QLocale::SimplifiedHanScript, QLocale::HongKong)
                                    << "zh_CN";
    }

    void languageCodes()
    {
        QFETCH(QLocale, locale);
        QFETCH(QString, code);
        QCOMPARE(OSServiceUtils::languageCodeOf(locale), code);
    }

    void openFilesAndFolders()
    {
        QTemporaryDir tmp;
        UrlRecorder recorder;
        QDesktopServices::setUrlHandler("file", &recorder, "open");
        const QString folder = tmp.path() + "/Vidéos \"quoted\" \\back";
        QDir().mkpath(folder);
        const QString file = folder + "/rec 1.mp4";
        QVERIFY(writeFile(file, "x"));

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
