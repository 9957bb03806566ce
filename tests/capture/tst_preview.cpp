// The preview against the engine double: every save road, the question before a
// recording is thrown away, and a cut that replaces only once complete.
#include <QApplication>
#include <QtTest>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include "capture/DlgVideoClip.h"
#include "capture/TrimBar.h"
#include "core/UnsavedRecording.h"
#include "platform/framework/VxMessageBox.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "tests/support/TestHelpers.h"
#include "tests/support/WidgetTestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

using namespace testsupport;

namespace {

QString unsaved()
{
    return VxSettings::instance()->applicationParam(QStringLiteral("outputVideo")).toString();
}

QPushButton* button(QWidget* dlg, const char* name)
{
    return dlg->findChild<QPushButton*>(QLatin1String(name));
}

// A press, a move with the button held, and a release, as a hand drags.
void drag(QWidget* w, int fromX, int toX)
{
    const int y = w->height() / 2;
    QMouseEvent press(QEvent::MouseButtonPress, QPoint(fromX, y), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent move(QEvent::MouseMove, QPoint(toX, y), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPoint(toX, y), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QApplication::sendEvent(w, &move);
    QApplication::sendEvent(w, &release);
}

// The x of a time on the bar: the track runs between two handle widths.
int xOf(TrimBar* bar, double seconds)
{
    return qRound(10 + (bar->width() - 20) * seconds / bar->duration());
}

} // namespace

class TstPreview : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FakeScreencast::reset();
        RecordParameter* p = RecordParameter::instance();
        p->setOnlyRecordCamera(false);
        p->setWindowRecord(false);
        p->setVideoEnable(true);
        p->setUsedVideoFmt(RP_Format_MP4);
        m_file = Utils::getRecorderTmpRoot() + "/.ScreenRecorder.mp4";
        m_outDir = QDir::homePath() + "/Movies/out";
        UnsavedRecording::remember(m_file);
        QDir(m_outDir).removeRecursively();
        QDir().mkpath(m_outDir);
        Utils::setVideoOutputPath(m_outDir);
        VxSettings::instance()->removeApplicationParam(QStringLiteral("Path/SavefilesHistroy"));
    }

    void cleanup()
    {
        DlgVideoClip::setFolderChooser(nullptr);
        DlgVideoClip::setAudioConverter(nullptr);
        Utils::removeTempRoot();
        SignalsTransfer::release();
    }

    // Enter saves wherever the window put the focus; the recording is moved,
    // never deleted, and no longer waits to be restored.
    void enterSaves()
    {
        const QByteArray data = randomBytes(3000);
        QVERIFY(writeFile(m_file, data));
        DlgVideoClip dlg(m_file, nullptr, nullptr, true, false);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        QVERIFY(QTest::qWaitForWindowActive(&dlg, 20000));
        // Also on "Record Again", where the focus used to sit.
        auto* again = dlg.findChild<QPushButton*>("btnReRecord");
        again->setFocus();
        QTest::keyClick(again, Qt::Key_Return);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(finished.first().at(0).toInt(), 1);
        const QStringList saved = entries(m_outDir);
        QCOMPARE(saved, QStringList{dlg.findChild<QLabel*>("lblFileName")->text()});
        QCOMPARE(readFile(m_outDir + "/" + saved.first()), data);
        QCOMPARE(unsaved(), QString());
    }

    // Closing, Escape and "Record Again" ask first, in a box that leaves
    // the caller at once: no keeps the window and the recording, yes
    // deletes it and it is not offered again.
    void leavingAsks_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("discard");
        QTest::newRow("close box, no") << "close" << false;
        QTest::newRow("close box, yes") << "close" << true;
        QTest::newRow("escape, no") << "escape" << false;
        QTest::newRow("record again, yes") << "again" << true;
    }

    void leavingAsks()
    {
        QFETCH(QString, how);
        QFETCH(bool, discard);
        const QByteArray data = randomBytes(1000);
        QVERIFY(writeFile(m_file, data));
        ModalDriver driver;
        driver.clickButton(discard ? QMessageBox::Yes : QMessageBox::No, QStringLiteral("VxMessageBox"));
        DlgVideoClip dlg(m_file, nullptr, nullptr, true, false);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        QVERIFY2(testsupport::returnsWithoutLoop([&] {
                     if (how == "close")
                         dlg.close();
                     else if (how == "escape")
                         QTest::keyClick(&dlg, Qt::Key_Escape);
                     else
                         button(&dlg, "btnReRecord")->click();
                 }),
                 "the question ran an event loop inside its caller");
        DRIVER_DONE(driver, 20000);
        QCOMPARE(driver.seen().size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), discard ? 1 : 0, 20000);
        QCOMPARE(dlg.isVisible(), !discard);
        QCOMPARE(QFileInfo::exists(m_file), !discard);
        QCOMPARE(unsaved(), discard ? QString() : m_file);
        QVERIFY(entries(m_outDir).isEmpty());
    }

    // Trim [2, 4.5]: the cut takes the recording's place only once complete; a failed,
    // cancelled or abandoned cut leaves the recording as it was and nothing beside it.
    void cutReplacesOnlyWhenComplete_data()
    {
        QTest::addColumn<QString>("end");
        QTest::newRow("success") << "success";
        QTest::newRow("failure") << "failure";
        QTest::newRow("cancelled") << "cancel";
        QTest::newRow("window destroyed") << "destroy";
    }

    void cutReplacesOnlyWhenComplete()
    {
        QFETCH(QString, end);
        const QByteArray data = randomBytes(2000);
        QVERIFY(writeFile(m_file, data));
        ModalDriver driver;
        if (end == "failure")
            driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
        auto dlg = std::make_unique<DlgVideoClip>(m_file, nullptr, nullptr, true, false);
        dlg->show();
        FakePlayer* player = FakeScreencast::player();
        QVERIFY(player);
        player->fireStatus(kPlayerStatusReadyToPlay);
        QTRY_VERIFY_WITH_TIMEOUT(player->playing, 20000);   // plays on open
        button(dlg.get(), "btnTrim")->click();
        TrimBar* bar = dlg->findChild<TrimBar*>();
        QTRY_VERIFY_WITH_TIMEOUT(bar->isTrimming() && bar->duration() == 5.0, 20000);
        drag(bar, xOf(bar, 0.0) - 5, xOf(bar, 2.0) - 5);
        drag(bar, xOf(bar, 5.0) + 5, xOf(bar, 4.5) + 5);
        QVERIFY(!button(dlg.get(), "btnSave")->isEnabled());
        button(dlg.get(), "btnTrimDone")->click();
        QTRY_VERIFY_WITH_TIMEOUT(FakeScreencast::mediaExport(), 20000);
        FakeExport* cut = FakeScreencast::mediaExport();
        QVERIFY2(qAbs(cut->start - 2.0) < 0.05 && qAbs(cut->end - 4.5) < 0.05,
                 qPrintable(QStringLiteral("%1 - %2").arg(cut->start).arg(cut->end)));
        QCOMPARE(QFileInfo(cut->target).path(), QFileInfo(m_file).path());
        QVERIFY(QFileInfo(cut->target).fileName().startsWith('.'));
        QCOMPARE(QFileInfo(cut->target).suffix(), QStringLiteral("mp4"));
        QCOMPARE(readFile(m_file), data);
        const QString target = cut->target;
        if (end == "success" || end == "failure") {
            cut->finish(end == "success");
            QTRY_VERIFY_WITH_TIMEOUT(!FakeScreencast::mediaExport(), 20000);
        } else if (end == "cancel") {
            QVERIFY(writeFile(target, "partial"));
            button(dlg.get(), "btnCancelCut")->click();
        } else {
            QVERIFY(writeFile(target, "partial"));
            dlg.reset();
        }
        DRIVER_DONE(driver, 20000);
        QCOMPARE(FakeScreencast::callCount("CMediaExportObject::release"), 1);
        QCOMPARE(readFile(m_file), end == "success" ? QByteArray("cut") : data);
        QCOMPARE(entries(QFileInfo(m_file).path()), QStringList{QFileInfo(m_file).fileName()});
        if (dlg)
            QTRY_VERIFY_WITH_TIMEOUT(button(dlg.get(), "btnSave")->isEnabled(), 20000);
    }

    // An unwritable output folder: a message, then another folder is asked for; given one
    // the recording is saved there and kept, given none the window stays, recording untouched.
    void unwritableFolder_data()
    {
        QTest::addColumn<bool>("chooseAnother");
        QTest::newRow("another folder") << true;
        QTest::newRow("give up") << false;
    }

    void unwritableFolder()
    {
        QFETCH(bool, chooseAnother);
        const QByteArray data = randomBytes(5000);
        QVERIFY(writeFile(m_file, data));
        // A folder under a regular file cannot be made, even by root.
        const QString blocker = QDir::homePath() + "/plain-file";
        QVERIFY(writeFile(blocker, "x"));
        const QString bad = blocker + "/out";
        Utils::setVideoOutputPath(bad);
        QStringList asked;
        DlgVideoClip::setFolderChooser([&](QWidget*, const QString& current) {
            asked << current;
            return chooseAnother ? m_outDir : QString();
        });
        QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
        ModalDriver driver;
        // The failure's box runs no loop of its own inside the save's road.
        int loopsAtBox = -1;
        driver.expect(
            [&loopsAtBox](QWidget* box) {
                loopsAtBox = QThread::currentThread()->loopLevel();
                static_cast<VxMessageBox*>(box)->button(QMessageBox::Ok)->click();
            },
            QStringLiteral("VxMessageBox"));
        DlgVideoClip dlg(m_file, nullptr, nullptr, true, true);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(asked, QStringList{bad}, 20000);
        DRIVER_DONE(driver, 5000);
        QCOMPARE(loopsAtBox, 0);
        QCOMPARE(driver.seen().size(), 1);
        QVERIFY(driver.seen().first().text.contains(bad));
        if (chooseAnother) {
            QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
            QCOMPARE(finished.first().at(0).toInt(), 1);
            QCOMPARE(history.count(), 1);
            QCOMPARE(readFile(history.first().at(0).value<HistoryFileUtils::HistoryFile>().path), data);
            QCOMPARE(Utils::getVideoOutputPath(), m_outDir);
        } else {
            QCOMPARE(finished.count(), 0);
            QVERIFY(dlg.findChild<QPushButton*>("btnSave")->isEnabled());
            QCOMPARE(readFile(m_file), data);
        }
    }

    void missingRecordingIsReported()
    {
        int asked = 0;
        DlgVideoClip::setFolderChooser([&](QWidget*, const QString&) {
            ++asked;
            return m_outDir;
        });
        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
        DlgVideoClip dlg(m_file, nullptr, nullptr, true, true);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 20000);
        QCOMPARE(finished.first().at(0).toInt(), 0);
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.seen().size(), 1);
        QCOMPARE(asked, 0);
    }

    void failedConversionKeepsWindow()
    {
        RecordParameter::instance()->setVideoEnable(false);
        RecordParameter::instance()->setUsedAudioFmt(RP_Format_FLAC);
        QStringList targets;
        DlgVideoClip::setAudioConverter([&](const QString&, const QString& target, int) {
            targets << QFileInfo(target).suffix();
            return DlgVideoClip::ConvertHandle();   // the engine refused to start
        });
        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
        DlgVideoClip dlg(Utils::getRecorderTmpRoot() + "/.ScreenRecorder", nullptr, nullptr, false, true);
        QSignalSpy finished(&dlg, &QDialog::finished);
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(targets, QStringList{"flac"}, 20000);
        DRIVER_DONE(driver, 5000);
        QCOMPARE(finished.count(), 0);
        QVERIFY(dlg.findChild<QPushButton*>("btnSave")->isEnabled());
    }

private:
    QString m_file;
    QString m_outDir;
};

QTEST_MAIN(TstPreview)
#include "tst_preview.moc"
