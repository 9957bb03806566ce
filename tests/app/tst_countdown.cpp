// The start countdown over the engine double, on a shortened clock: the
// order of the engine calls and that no step comes early.
#include <QtTest>
#include <QImage>

#include "tests/support/FakeScreencast.h"
#include "app/ShowPicture.h"

namespace {

const int kLong = 30000;

// A red picture, or a file that is not a picture.
void writeFile(const QString& path, bool picture = true)
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QFile file(path);
    QVERIFY(picture ? image.save(path, "PNG") : file.open(QIODevice::WriteOnly) && file.write("text") == 4);
}

// The engine call that shows picture `number` of `folder`, as logged.
QString pictureCall(const char* call, const QString& folder, int number)
{
    return QString("%1(\"%2/%3.png\")").arg(QLatin1String(call), folder).arg(number);
}

// The engine calls made while a countdown runs, with the time each was
// first seen (polled every millisecond), and when showPicEnd came.
struct Timeline
{
    QStringList calls;
    QVector<qint64> times;
    qint64 end = -1;
    int ends = 0;
};

Timeline run(ShowPicture& countdown, int timeoutMs)
{
    Timeline line;
    QElapsedTimer clock;
    QTimer poll;
    auto take = [&] {
        const QStringList now = FakeScreencast::calls();
        for (int i = line.calls.size(); i < now.size(); ++i) {
            line.calls << now.at(i);
            line.times << clock.elapsed();
        }
    };
    QObject::connect(&poll, &QTimer::timeout, take);
    QObject::connect(&countdown, &ShowPicture::showPicEnd, [&] {
        take();
        if (line.end < 0)
            line.end = clock.elapsed();
        ++line.ends;
    });
    poll.setTimerType(Qt::PreciseTimer);
    poll.start(1);
    clock.start();
    countdown.start();
    if (!QTest::qWaitFor([&] { return line.end >= 0; }, timeoutMs))
        return line;   // the caller sees no end
    // Anything after the end (a second end, a late call) would show here.
    QTest::qWait(50);
    take();
    return line;
}

// Lower bounds only: a timer may come late on a busy machine, never much
// early (coarse timers may fire up to 5 % before their time).
bool notBefore(qint64 time, qint64 expected)
{
    return time >= expected * 9 / 10;
}

} // namespace

class TestCountdown : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FakeScreencast::reset();
        ShowPicture::setFolderOverride(QString());
        ShowPicture::setDurations(3000, 500);
    }

    void cleanup()
    {
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
        ShowPicture::setFolderOverride(QString());
        ShowPicture::setDurations(3000, 500);
    }

    // What the engine is asked, in order ("S3": picture 3 on a new overlay, "s3": on the open
    // one); a bad picture changes nothing, a failed overlay is asked again, and one end comes.
    void timeline_data()
    {
        QTest::addColumn<QString>("files");   // p: a picture, t: not a picture, -: no folder
        QTest::addColumn<bool>("failFirst");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("due");  // the earliest time of each step, then of the end
        QTest::newRow("three pictures") << "ppp" << false << QStringList{"S1", "s2", "s3", "close", "release"}
                                        << QList<int>{120, 240, 360, 600, 600, 700};
        QTest::newRow("unreadable, failed") << "ptpp" << true << QStringList{"S1", "S3", "s4", "close", "release"}
                                            << QList<int>();
        QTest::newRow("empty folder") << "" << false << QStringList() << QList<int>{700};
        QTest::newRow("missing folder") << "-" << false << QStringList() << QList<int>();
    }

    void timeline()
    {
        QFETCH(QString, files);
        QFETCH(bool, failFirst);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, due);
        QTemporaryDir dir;
        for (int i = 0; i < files.size(); ++i) {
            const QString path = dir.filePath(QString("%1.png").arg(i + 1));
            writeFile(path, files[i] == 'p');
        }
        ShowPicture::setFolderOverride(files == "-" ? dir.filePath("missing") : dir.path());
        ShowPicture::setDurations(600, 100);
        if (failFirst)
            FakeScreencast::failNext("ShowPictureOnScreen");
        ShowPicture countdown;
        const Timeline line = run(countdown, kLong);
        QStringList expected;
        for (const QString& step : steps) {
            if (step == "close" || step == "release")
                expected << (step == "close" ? "CPictureObject::close(0)" : "CPictureObject::release()");
            else
                expected << pictureCall(step[0] == 'S' ? "ShowPictureOnScreen" : "CPictureObject::show", dir.path(),
                                        step.mid(1).toInt());
        }
        QCOMPARE(line.calls, expected);
        QCOMPARE(line.ends, 1);
        // A late look at the call log only makes a time larger, so a busy
        // machine cannot fail this, while a step that comes early does.
        for (int i = 0; i < due.size(); ++i) {
            const qint64 seen = i < line.times.size() ? line.times[i] : line.end;
            QVERIFY2(notBefore(seen, due[i]), qPrintable(QString("step %1 at %2 ms").arg(i).arg(seen)));
        }
    }

    // Deleted while running: the ticks stop, the overlay is released without
    // its closing call and the end never comes.
    void deletedWhileRunning()
    {
        QTemporaryDir dir;
        for (int i = 1; i <= 3; ++i)
            writeFile(dir.filePath(QString("%1.png").arg(i)));
        ShowPicture::setFolderOverride(dir.path());
        ShowPicture::setDurations(600, 50);
        auto* countdown = new ShowPicture;
        bool ended = false;
        connect(countdown, &ShowPicture::showPicEnd, [&] { ended = true; });
        countdown->start();
        QVERIFY(QTest::qWaitFor([] { return FakeScreencast::picture() != nullptr; }, kLong));
        delete countdown;
        QCOMPARE(FakeScreencast::calls().last(), QString("CPictureObject::release()"));
        QCOMPARE(FakeScreencast::callCount("CPictureObject::close"), 0);
        const int made = FakeScreencast::calls().size();
        QTest::qWait(800);
        QVERIFY(!ended);
        QCOMPARE(FakeScreencast::calls().size(), made);
    }
};

QTEST_MAIN(TestCountdown)
#include "tst_countdown.moc"
