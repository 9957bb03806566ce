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

QStringList names(const QListWidget* list, bool visibleOnly = false)
{
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        if (!visibleOnly || !list->item(i)->isHidden())
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
    const QString path = QString::fromUtf8("/v/Aufnahme – 1.mp4");
    hub->addHistoryFile(path, HistoryFile_Video, "1920*1080", "00:01:02", "12.50 MB");
    const QStringList expected{QString::fromUtf8("Aufnahme – 1.mp4"), path, "1", "1920*1080", "00:01:02",
                               "12.50 MB"};
    QCOMPARE(headSeenBySlot, expected);
    QCOMPARE(announced.path, path);

    // Newest first, and the store survives a restart of the settings.
    hub->addHistoryFile("/i/shot.png", HistoryFile_Image, "640*480", QString(), "0.10 MB");
    VxSettings::release();
    const QVariantList list = stored();
    QCOMPARE(list.size(), 2);
    QCOMPARE(list.at(0).toStringList().value(0), QString("shot.png"));
    QCOMPARE(list.at(1).toStringList(), expected);
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
    QCOMPARE(names(&list), (QStringList{"good.mp4", "short.mov"}));
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
    QCOMPARE(names(list, true), (QStringList{"picture.png", "clip one.mp4"}));

    filter->setCurrentIndex(2);   // videos
    QCOMPARE(names(list, true), QStringList{"clip one.mp4"});

    // A new image while videos are shown: on top but filtered away ...
    hub->addHistoryFile("/i/new shot.png", HistoryFile_Image, "1*1", QString(), "1 KB");
    QCOMPARE(HistoryFileListWidget::historyFile(list->item(0)).path, QString("/i/new shot.png"));
    QCOMPARE(names(list, true), QStringList{"clip one.mp4"});
    // ... until the filter goes back to "Show all".
    dialog.isAddedHistory();
    QCOMPARE(filter->currentIndex(), 0);
    QCOMPARE(names(list, true), (QStringList{"new shot.png", "picture.png", "clip one.mp4"}));
    search->setText("SHOT");
    QCOMPARE(names(list, true), QStringList{"new shot.png"});
}

QTEST_MAIN(TstHistory)
#include "tst_history.moc"
