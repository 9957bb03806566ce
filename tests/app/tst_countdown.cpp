// The start countdown over the engine double. The real countdown lasts
// 3.5 s; the runs here shorten its clock and check the order of the engine
// calls and that no step comes early.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "tests/support/FakeScreencast.h"
#include "app/ShowPicture.h"

namespace {

const int kLong = 30000;

void writePicture(const QString& path, QColor colour = Qt::red)
{
    QImage image(24, 24, QImage::Format_ARGB32);
    image.fill(colour);
    QVERIFY(image.save(path, "PNG"));
}

void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// Pictures 1.png to `count`.png in `dir`, which becomes the countdown's
// folder.
void usePictures(const QTemporaryDir& dir, int count)
{
    for (int i = 1; i <= count; ++i)
        writePicture(dir.filePath(QString("%1.png").arg(i)));
    ShowPicture::setFolderOverride(dir.path());
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
        qWarning("the countdown did not end within %d ms", timeoutMs);
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

    // The build installs the pictures where an installed program has them.
    void installedPictures()
    {
        ShowPicture countdown;
        QCOMPARE(QDir::cleanPath(countdown.folder()),
                 QDir::cleanPath(QCoreApplication::applicationDirPath() + "/../Resources/countdown"));
        const QStringList entries = QDir(countdown.folder()).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot);
        QCOMPARE(entries, QStringList({"1.png", "2.png", "3.png"}));
        for (const QString& name : entries) {
            const QImage picture(countdown.folder() + "/" + name);
            QVERIFY2(!picture.isNull(), qPrintable(name));
            QVERIFY(picture.hasAlphaChannel());
            // Round: the corners are transparent, the centre is not.
            QCOMPARE(qAlpha(picture.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(picture.pixel(picture.width() / 2, picture.height() / 2)), 255);
        }
        QCOMPARE(countdown.pictureCount(), 5);
        QCOMPARE(countdown.tickPeriod(), 600);
    }

    // QDir's count: hidden entries do not count, any other entry does, and
    // "." and ".." always do; the tick is the duration over the count.
    void counting()
    {
        QTemporaryDir dir;
        usePictures(dir, 3);
        auto count = [](int pictures, int tick) {
            ShowPicture countdown;
            QCOMPARE(countdown.pictureCount(), pictures);
            if (tick > 0)
                QCOMPARE(countdown.tickPeriod(), tick);
        };
        count(5, 600);
        writeText(dir.filePath(".hidden"), "x");
        count(5, 600);
        QVERIFY(QDir(dir.path()).mkdir("sub"));
        count(6, 500);
        writeText(dir.filePath("notes.txt"), "x");
        count(7, 428);
        QTemporaryDir empty;
        ShowPicture::setFolderOverride(empty.path());
        count(2, 1500);
        ShowPicture::setFolderOverride(empty.filePath("missing"));
        count(0, 0);
        QCOMPARE(FakeScreencast::calls(), QStringList());
    }

    // Three pictures: nothing before the first tick, one picture per tick,
    // the last one kept up over the two empty ticks, the overlay closed and
    // released on the last tick, the end one delay later.
    void timelineThreePictures()
    {
        QTemporaryDir dir;
        usePictures(dir, 3);
        ShowPicture::setDurations(600, 100);
        ShowPicture countdown;
        QCOMPARE(countdown.tickPeriod(), 120);

        const Timeline line = run(countdown, kLong);
        const QString d = dir.path();
        QCOMPARE(line.calls, QStringList({
                                 pictureCall("ShowPictureOnScreen", d, 1),
                                 pictureCall("CPictureObject::show", d, 2),
                                 pictureCall("CPictureObject::show", d, 3),
                                 "CPictureObject::close(0)",
                                 "CPictureObject::release()",
                             }));
        QCOMPARE(line.ends, 1);
        // Each step no earlier than its tick, counted from the start: a late
        // look at the call log only makes a time larger, so a busy machine
        // cannot fail this, while a step that comes early does.
        const qint64 due[] = {120, 240, 360, 600};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(notBefore(line.times[i], due[i]), qPrintable(QString("%1: %2").arg(i).arg(line.times[i])));
        QVERIFY(notBefore(line.end, 700));
        QVERIFY(line.times[4] <= line.end);
    }

    // A picture that does not load changes nothing on screen; a failed
    // overlay is asked for again on the next picture.
    void unreadableAndFailedPictures()
    {
        QTemporaryDir dir;
        writePicture(dir.filePath("1.png"));
        writeText(dir.filePath("2.png"), "not a picture");
        writePicture(dir.filePath("3.png"));
        writePicture(dir.filePath("4.png"));
        ShowPicture::setFolderOverride(dir.path());
        ShowPicture::setDurations(300, 20);
        FakeScreencast::failNext("ShowPictureOnScreen");
        ShowPicture countdown;
        QCOMPARE(countdown.pictureCount(), 6);

        const Timeline line = run(countdown, kLong);
        const QString d = dir.path();
        QCOMPARE(line.calls, QStringList({
                                 pictureCall("ShowPictureOnScreen", d, 1),
                                 pictureCall("ShowPictureOnScreen", d, 3),
                                 pictureCall("CPictureObject::show", d, 4),
                                 "CPictureObject::close(0)",
                                 "CPictureObject::release()",
                             }));
        QCOMPARE(line.ends, 1);
    }

    // No pictures, or no folder: nothing for the engine, one end all the same.
    void nothingToShow_data()
    {
        QTest::addColumn<bool>("folderExists");
        QTest::newRow("empty folder") << true;
        QTest::newRow("missing folder") << false;
    }

    void nothingToShow()
    {
        QFETCH(bool, folderExists);
        QTemporaryDir dir;
        ShowPicture::setFolderOverride(folderExists ? dir.path() : dir.filePath("no/such/folder"));
        ShowPicture::setDurations(200, 50);
        ShowPicture countdown;
        const Timeline line = run(countdown, kLong);
        QCOMPARE(line.calls, QStringList());
        QCOMPARE(line.ends, 1);
        if (folderExists)
            QVERIFY(notBefore(line.end, 250));
    }

    // Deleted while running: the ticks stop, the overlay is released without
    // its closing call and the end never comes.
    void deletedWhileRunning()
    {
        QTemporaryDir dir;
        usePictures(dir, 3);
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
