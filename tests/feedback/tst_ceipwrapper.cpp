// The telemetry file: the version record first, one whole JSON line per
// event in order, from several threads at once, and the event bodies.
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include "core/CEIPWrapper.h"
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

} // namespace

class TstCEIPWrapper : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { CEIPWrapper::release(); }

    void fileLivesInTheDataFolder();
    void versionRecordIsAlwaysFirst();
    void eventsInOrderWithTheirBodies();
    void eventsFromFourThreadsStayWhole();
    void submitThenMoreEvents();
    void unwritableFolderDropsEventsQuietly();
};

void TstCEIPWrapper::fileLivesInTheDataFolder()
{
    const QString path = CEIPWrapper::instance()->telemetryFilePath();
    QVERIFY(path.startsWith(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                            + "/ScreenRecorder/telemetry/"));
    QVERIFY(path.endsWith(".jsonl"));
    QVERIFY(!QFile::exists(path));  // nothing written yet
    CEIPWrapper::instance()->MakeEvent_CEIP_Version();
    QVERIFY(QFile::exists(path));

    // Each run has a file of its own.
    CEIPWrapper::release();
    QVERIFY(CEIPWrapper::instance()->telemetryFilePath() != path);
}

void TstCEIPWrapper::versionRecordIsAlwaysFirst()
{
    CEIPWrapper* ceip = CEIPWrapper::instance();
    ceip->MakeEvent(3000);
    ceip->MakeEvent_CEIP_Version();
    ceip->MakeEvent(3999);
    const QList<QJsonObject> lines = readLines(ceip->telemetryFilePath());
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(0), QJsonObject({{"Version", 1}}));
    QCOMPARE(lines.at(1).value("id").toInt(), 3000);
    QCOMPARE(lines.at(2).value("id").toInt(), 3999);
}

void TstCEIPWrapper::eventsInOrderWithTheirBodies()
{
    CEIPWrapper* ceip = CEIPWrapper::instance();
    ceip->MakeEvent_CEIP_Version();
    ceip->MakeEvent(5000);
    ceip->MakeEvent(5001);
    ceip->MakeEvent_kModular_Recording_Result(1);
    ceip->MakeEvent_kModular_Recording_Result(0);
    ceip->MakeEvent_kModular_Save_Result(1);
    const QList<QJsonObject> lines = readLines(ceip->telemetryFilePath());
    QCOMPARE(lines.size(), 6);
    QCOMPARE(lines.at(1).value("id").toInt(), 5000);
    QCOMPARE(lines.at(1).value("data").toObject(), QJsonObject());
    QVERIFY(QDateTime::fromString(lines.at(1).value("time").toString(), Qt::ISODateWithMs).isValid());
    QCOMPARE(lines.at(2).value("id").toInt(), 5001);
    QCOMPARE(lines.at(3).value("id").toInt(), 5002);
    QCOMPARE(lines.at(3).value("data").toObject(), QJsonObject({{"key_Recording_Result", 1}}));
    QCOMPARE(lines.at(4).value("data").toObject(), QJsonObject({{"key_Recording_Result", 0}}));
    QCOMPARE(lines.at(5).value("data").toObject(), QJsonObject({{"key_Save_Result", 1}}));
}

void TstCEIPWrapper::eventsFromFourThreadsStayWhole()
{
    const int perThread = 500;
    QList<QThread*> threads;
    for (int t = 0; t < 4; ++t) {
        threads << QThread::create([t, perThread] {
            for (int i = 0; i < perThread; ++i) {
                if (i % 2)
                    CEIPWrapper::instance()->MakeEvent(100 + t);
                else
                    CEIPWrapper::instance()->MakeEvent_kModular_Save_Result(t * 10000 + i);
            }
        });
    }
    for (QThread* th : threads)
        th->start();
    for (QThread* th : threads) {
        QVERIFY(th->wait(60000));
        delete th;
    }

    bool whole = false;
    const QList<QJsonObject> lines = readLines(CEIPWrapper::instance()->telemetryFilePath(), &whole);
    QVERIFY(whole);
    QCOMPARE(lines.size(), 4 * perThread + 1);
    QCOMPARE(lines.at(0), QJsonObject({{"Version", 1}}));
    // Each thread's results appear in the order it wrote them.
    QVector<int> last(4, -1);
    for (int i = 1; i < lines.size(); ++i) {
        const QJsonObject data = lines.at(i).value("data").toObject();
        if (!data.contains("key_Save_Result"))
            continue;
        const int v = data.value("key_Save_Result").toInt();
        const int t = v / 10000;
        QVERIFY(v % 10000 > last[t]);
        last[t] = v % 10000;
    }
    QCOMPARE(last, QVector<int>(4, perThread - 2));
}

void TstCEIPWrapper::submitThenMoreEvents()
{
    CEIPWrapper* ceip = CEIPWrapper::instance();
    ceip->MakeEvent_CEIP_Version();
    ceip->MakeEvent(3999);
    ceip->Submit();
    ceip->MakeEvent(5000);
    ceip->Submit();
    const QList<QJsonObject> lines = readLines(ceip->telemetryFilePath());
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines.at(2).value("id").toInt(), 5000);
}

void TstCEIPWrapper::unwritableFolderDropsEventsQuietly()
{
    const testsupport::UnwritablePath unwritable;
    QVERIFY(unwritable.ok());
    CEIPWrapper* ceip = nullptr;
    {
        testsupport::ScopedEnv env("XDG_DATA_HOME", QFile::encodeName(unwritable.path("data")).constData());
        ceip = CEIPWrapper::instance();
    }

    ceip->MakeEvent_CEIP_Version();
    ceip->MakeEvent(3000);
    ceip->MakeEvent_kModular_Save_Result(1);
    ceip->Submit();
    QVERIFY(!QFile::exists(ceip->telemetryFilePath()));
}

QTEST_MAIN(TstCEIPWrapper)
#include "tst_ceipwrapper.moc"
