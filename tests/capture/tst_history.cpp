// The history: stored before announced, its list from the store, file facts or
// gone, entries opened, copied and removed without touching files, the filter reset.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QtTest>

#include "capture/HistoryFileListWidget.h"
#include "capture/RecordHistoryDlg.h"
#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/UrlRecorder.h"

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
            names << HistoryFileListWidget::historyFile(list->item(i)).fileName;
    return names;
}

// Runs the row's menu entry of that text; false when it is not there or
// disabled.
bool trigger(HistoryFileListWidget* list, int row, const QString& text)
{
    QScopedPointer<QMenu> menu(list->createContextMenu(list->item(row), nullptr));
    for (QAction* action : menu->actions())
        if (action->text() == text && action->isEnabled()) {
            action->trigger();
            return true;
        }
    return false;
}

} // namespace

class TstHistory : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        VxSettings::instance()->removeApplicationParam(kKey);
    }

    void cleanup()
    {
        QDesktopServices::unsetUrlHandler("file");
        SignalsTransfer::release();
    }

    void storedBeforeAnnounced()
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

    void listSkipsDamagedEntries()
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

    void rowsShowTheirFile_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("resolution");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QString>("facts");   // the row's second line
        QTest::newRow("video") << int(HistoryFile_Video) << "1920*1080" << "00:01:02" << true
                               << QString::fromUtf8("Video  ·  1920×1080  ·  00:01:02  ·  2 KB");
        QTest::newRow("missing") << int(HistoryFile_Video) << "320*240" << "00:00:03" << false
                                 << QString::fromUtf8("Video  ·  320×240  ·  00:00:03  ·  2 KB  ·  missing");
    }

    void rowsShowTheirFile()
    {
        QFETCH(int, type);
        QFETCH(QString, resolution);
        QFETCH(QString, duration);
        QFETCH(bool, exists);
        QFETCH(QString, facts);
        const QString path = m_dir.filePath(QString("row %1.bin").arg(QTest::currentDataTag()));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        HistoryFileListWidget list;
        list.show();
        list.addHistoryFile({QFileInfo(path).fileName(), path, type, resolution, duration, "2 KB"});
        if (!exists)
            QVERIFY(QFile::remove(path));
        list.refreshMissing();   // as the dialog does each time it shows
        QListWidgetItem* row = list.item(0);
        QCOMPARE(row->text().section('\n', 1), facts);
        QCOMPARE(row->foreground().color() == list.palette().color(QPalette::Disabled, QPalette::Text), !exists);

        // A double click opens the file with the desktop's program, a missing one not at all.
        UrlRecorder urls;
        QDesktopServices::setUrlHandler("file", &urls, "open");
        const QPoint centre = list.visualItemRect(row).center();
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centre);
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, centre);
        QCOMPARE(urls.urls, exists ? QList<QUrl>{QUrl::fromLocalFile(path)} : QList<QUrl>());
        QCOMPARE(trigger(&list, 0, "Open"), exists);
    }

    void menuCopiesOpensAndRemoves()
    {
        const QString kept = m_dir.filePath("kept clip.mp4");
        QFile file(kept);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        file.close();
        SignalsTransfer* hub = SignalsTransfer::instance();
        hub->addHistoryFile("/i/other.png", HistoryFile_Image, "1*1", QString(), "1 KB");
        hub->addHistoryFile(kept, HistoryFile_Video, "2*2", "00:00:01", "1 KB");
        HistoryFileListWidget list;

        QVERIFY(trigger(&list, 0, "Copy Path"));
        QCOMPARE(QApplication::clipboard()->text(), kept);
        UrlRecorder urls;
        QDesktopServices::setUrlHandler("file", &urls, "open");
        QVERIFY(trigger(&list, 0, "Open Containing Folder"));
        QCOMPARE(urls.urls, QList<QUrl>{QUrl::fromLocalFile(m_dir.path())});
        // The missing image's folder does not exist either.
        QVERIFY(!trigger(&list, 1, "Open Containing Folder"));

        // Removing drops the entry from the list and the store, never the file.
        QVERIFY(trigger(&list, 0, "Remove from History"));
        QCOMPARE(names(&list), QStringList{"other.png"});
        QVERIFY(QFile::exists(kept));
        VxSettings::release();
        QCOMPARE(stored().size(), 1);
        QCOMPARE(stored().at(0).toStringList().value(1), QString("/i/other.png"));
    }

    void dialogFilterAndReset()
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

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TstHistory)
#include "tst_history.moc"
