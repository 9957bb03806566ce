// The single-instance guard across real processes: the test binary runs
// itself as the competing instances.
#include <QCoreApplication>
#include <QProcess>
#include <QSharedMemory>
#include <QTest>
#include <QUuid>

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "app/SingleInstanceGuard.h"

namespace {

const char* resultName(SingleInstanceGuard::Result r)
{
    switch (r) {
    case SingleInstanceGuard::OnlyInstance: return "only";
    case SingleInstanceGuard::AnotherInstance: return "another";
    default: return "unguarded";
    }
}

// Child mode: run the guard, print the result, then keep the segment until
// stdin closes (or the parent kills us).
int runChild(const QString& key)
{
    SingleInstanceGuard guard(key);
    std::printf("%s\n", resultName(guard.check()));
    std::fflush(stdout);
    char buf[16];
    while (::read(STDIN_FILENO, buf, sizeof(buf)) > 0) {
    }
    return 0;
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private:
    QString m_key;
    QList<QProcess*> m_children;

    QProcess* startChild()
    {
        auto* p = new QProcess(this);
        p->start(QCoreApplication::applicationFilePath(), {"--guard-child", m_key});
        m_children << p;
        return p;
    }

    static QString readResult(QProcess* p)
    {
        if (!p->waitForReadyRead(10000))
            return "timeout";
        return QString::fromLatin1(p->readLine()).trimmed();
    }

private slots:
    void init() { m_key = "SrGuardTest-" + QUuid::createUuid().toString(QUuid::Id128).left(12); }

    void cleanup()
    {
        for (QProcess* p : m_children) {
            p->kill();
            p->waitForFinished(5000);
            delete p;
        }
        m_children.clear();
        // Leave no segment behind for the key.
        QSharedMemory leftover(m_key);
        if (leftover.attach())
            leftover.detach();
    }

    void liveHolderIsDetectedAndStaleSegmentIsNot()
    {
        QProcess* holder = startChild();
        QCOMPARE(readResult(holder), QString("only"));

        {
            SingleInstanceGuard second(m_key);
            QCOMPARE(second.check(), SingleInstanceGuard::AnotherInstance);
        }

        // A holder killed outright leaves its segment behind; it must not
        // make every later launch think the program runs.
        ::kill(static_cast<pid_t>(holder->processId()), SIGKILL);
        QVERIFY(holder->waitForFinished(5000));
        SingleInstanceGuard third(m_key);
        QCOMPARE(third.check(), SingleInstanceGuard::OnlyInstance);
        // And the new owner is seen as live by the next launch.
        QProcess* late = startChild();
        QCOMPARE(readResult(late), QString("another"));
    }

    void holderThatQuitsNormallyFreesTheName()
    {
        QProcess* holder = startChild();
        QCOMPARE(readResult(holder), QString("only"));
        holder->closeWriteChannel();
        QVERIFY(holder->waitForFinished(5000));
        SingleInstanceGuard next(m_key);
        QCOMPARE(next.check(), SingleInstanceGuard::OnlyInstance);
    }

    void simultaneousLaunchesLeaveExactlyOneRunning()
    {
        QList<QProcess*> racers;
        for (int i = 0; i < 6; ++i)
            racers << startChild();
        int only = 0;
        int another = 0;
        for (QProcess* p : racers) {
            const QString r = readResult(p);
            only += r == "only";
            another += r == "another";
        }
        QCOMPARE(only, 1);
        QCOMPARE(another, 5);
    }
};

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--guard-child") == 0) {
        QCoreApplication app(argc, argv);
        return runChild(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_single_instance.moc"
