// A saved file goes into the stored history before it is announced; the
// history list starts from the store, puts announced files on top, and the
// history dialog's filter can be reset so that a new file shows.
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

#include "capture/HistoryFileListWidget.h"
#include "capture/RecordHistoryDlg.h"
#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"

namespace {

const char* const kKey = "Path/SavefilesHistroy";

QVariantList stored()
{
    return VxSettings::instance()->applicationParam(kKey, QVariantList()).toList();
}

QStringList visibleNames(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        if (!list->item(i)->isHidden())
            names << list->item(i)->text();
    return names;
}

QStringList allNames(const QListWidget* list)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

} // namespace

class TstHistory : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void storedBeforeAnnounced();
    void listLoadsStoreAndTakesNewOnTop();
    void listSkipsDamagedEntries();
    void dialogFilterAndReset();
};

void TstHistory::init()
{
    VxSettings::instance()->removeApplicationParam(kKey);
}

void TstHistory::cleanup()
{
    SignalsTransfer::release();
}

void TstHistory::storedBeforeAnnounced()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    QStringList headSeenBySlot;
    HistoryFileUtils::HistoryFile announced;
    connect(hub, &SignalsTransfer::onAddHistoryFile, this, [&](const HistoryFileUtils::HistoryFile& f) {
        announced = f;
        headSeenBySlot = stored().value(0).toStringList();
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromUtf8("Aufnahme – 1.mp4"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();

    hub->addHistoryFile(path, HistoryFile_Video, "1920*1080", "00:01:02", "12.50 MB");
    const QStringList expected{QString::fromUtf8("Aufnahme – 1.mp4"), path, "1", "1920*1080", "00:01:02",
                               "12.50 MB"};
    QCOMPARE(headSeenBySlot, expected);
    QCOMPARE(announced.path, path);

    // Newest first, and the store survives a restart of the settings.
    hub->addHistoryFile(dir.filePath("shot.png"), HistoryFile_Image, "640*480", QString(), "0.10 MB");
    VxSettings::release();
    const QVariantList list = stored();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).toStringList().value(0), QString("shot.png"));
    QCOMPARE(list.at(1).toStringList(), expected);

    // A file that is gone by now is recorded all the same.
    SignalsTransfer::instance()->addHistoryFile("/nonexistent/folder/Clip 7.m4a", HistoryFile_Audio, QString(),
                                                "00:00:09", "0.20 MB");
    QCOMPARE(stored().value(0).toStringList(),
             (QStringList{"Clip 7.m4a", "/nonexistent/folder/Clip 7.m4a", "2", "", "00:00:09", "0.20 MB"}));
}

void TstHistory::listLoadsStoreAndTakesNewOnTop()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    hub->addHistoryFile("/v/old.mp4", HistoryFile_Video, "1280*720", "00:00:05", "1.00 MB");
    hub->addHistoryFile("/i/newer.png", HistoryFile_Image, "800*600", QString(), "0.30 MB");

    HistoryFileListWidget list;
    QCOMPARE(allNames(&list), (QStringList{"newer.png", "old.mp4"}));
    QCOMPARE(HistoryFileListWidget::historyFile(list.item(1)).duration, QString("00:00:05"));

    // Announced after construction: on top, once.
    hub->addHistoryFile("/a/newest.mp3", HistoryFile_Audio, QString(), "00:03:00", "2.00 MB");
    QCOMPARE(allNames(&list), (QStringList{"newest.mp3", "newer.png", "old.mp4"}));
    QCOMPARE(list.item(0)->data(HistoryFileListWidget::PathRole).toString(), QString("/a/newest.mp3"));

    // A second list made now starts from the same store.
    HistoryFileListWidget again;
    QCOMPARE(allNames(&again), allNames(&list));
}

void TstHistory::listSkipsDamagedEntries()
{
    VxSettings::instance()->setApplicationParam(
        kKey, QVariantList{QStringList{"good.mp4", "/v/good.mp4", "1", "1*1", "00:00:01", "1 KB"},
                           QStringList{"nopath.mp4", "", "1"},
                           QStringList{"badtype.mp4", "/v/badtype.mp4", "video"},
                           QString("just text"),
                           QStringList{"", "/v/short.mov", "1"}});
    SignalsTransfer::instance();
    HistoryFileListWidget list;
    QCOMPARE(allNames(&list), (QStringList{"good.mp4", "short.mov"}));
    const HistoryFileUtils::HistoryFile last = HistoryFileListWidget::historyFile(list.item(1));
    QCOMPARE(last.path, QString("/v/short.mov"));
    QCOMPARE(last.size, QString());
}

void TstHistory::dialogFilterAndReset()
{
    SignalsTransfer* hub = SignalsTransfer::instance();
    hub->addHistoryFile("/v/clip one.mp4", HistoryFile_Video, "1*1", "00:00:01", "1 KB");
    hub->addHistoryFile("/i/picture.png", HistoryFile_Image, "1*1", QString(), "1 KB");

    RecordHistoryDlg dialog(nullptr);
    auto* filter = dialog.findChild<QComboBox*>("cmbFilter");
    auto* search = dialog.findChild<QLineEdit*>("editSearch");
    QVERIFY(filter && search);
    HistoryFileListWidget* list = dialog.historyList();
    QCOMPARE(visibleNames(list), (QStringList{"picture.png", "clip one.mp4"}));

    filter->setCurrentIndex(2);   // videos
    QCOMPARE(visibleNames(list), QStringList{"clip one.mp4"});

    // A new image while videos are shown: on top but filtered away ...
    hub->addHistoryFile("/i/new shot.png", HistoryFile_Image, "1*1", QString(), "1 KB");
    QCOMPARE(allNames(list).value(0), QString("new shot.png"));
    QCOMPARE(visibleNames(list), QStringList{"clip one.mp4"});
    // ... until the filter goes back to "Show all".
    dialog.isAddedHistory();
    QCOMPARE(filter->currentIndex(), 0);
    QCOMPARE(visibleNames(list), (QStringList{"new shot.png", "picture.png", "clip one.mp4"}));

    search->setText("SHOT");
    QCOMPARE(visibleNames(list), QStringList{"new shot.png"});
    filter->setCurrentIndex(3);   // audio
    QVERIFY(visibleNames(list).isEmpty());
    search->clear();
    dialog.isAddedHistory();
    QCOMPARE(visibleNames(list).size(), 3);
}

QTEST_MAIN(TstHistory)
#include "tst_history.moc"
