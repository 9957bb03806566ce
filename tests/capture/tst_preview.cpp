// The preview window's save road against the engine double: the automatic
// save into the history, closing without saving, a folder that cannot be
// written, a missing recording and a failed conversion.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include "capture/DlgVideoClip.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "core/RecordParameter.h"
#include "core/SignalsTransfer.h"
#include "tests/support/TestHelpers.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"

using namespace testsupport;

namespace {

bool previewing()
{
    return RecordParameter::instance()->m_bPreviewing;
}

} // namespace

class TstPreview : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void autoSaveEndsInHistory();
    void closingKeepsRecording();
    void unwritableFolder_data();
    void unwritableFolder();
    void missingRecordingIsReported();
    void failedConversionKeepsWindow();

private:
    QString m_file;
    QString m_outDir;
};

void TstPreview::init()
{
    FakeScreencast::reset();
    RecordParameter* p = RecordParameter::instance();
    p->setOnlyRecordCamera(false);
    p->setWindowRecord(false);
    p->setVideoEnable(true);
    p->setUsedVideoFmt(RP_Format_MP4);
    m_file = Utils::getRecorderTmpRoot() + "/.ScreenRecorder.mp4";
    m_outDir = QDir::homePath() + "/Movies/out";
    QDir(m_outDir).removeRecursively();
    QDir().mkpath(m_outDir);
    Utils::setVideoOutputPath(m_outDir);
    VxSettings::instance()->removeApplicationParam(QStringLiteral("Path/SavefilesHistroy"));
}

void TstPreview::cleanup()
{
    DlgVideoClip::setFolderChooser(nullptr);
    DlgVideoClip::setAudioConverter(nullptr);
    Utils::removeTempRoot();
    SignalsTransfer::release();
}

void TstPreview::autoSaveEndsInHistory()
{
    const QByteArray data = randomBytes(70000);
    QVERIFY(writeFile(m_file, data));
    FakeScreencast::setMediaInfo(m_file, MediaFileInfo{3.6, 1, 640, 480});
    QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
    bool previewingAtSave = false;
    connect(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile, this,
            [&] { previewingAtSave = previewing(); });

    auto* dlg = new DlgVideoClip(m_file, nullptr, nullptr, true, true);
    QVERIFY(previewing());
    QTimer::singleShot(20000, dlg, &QDialog::reject);
    QCOMPARE(dlg->exec(), 1);
    delete dlg;
    QVERIFY(!previewing());

    QCOMPARE(history.count(), 1);
    QVERIFY(previewingAtSave);
    const auto entry = history.first().at(0).value<HistoryFileUtils::HistoryFile>();
    QCOMPARE(QFileInfo(entry.path).path(), m_outDir);
    QVERIFY2(entry.fileName.startsWith("Video_") && entry.fileName.endsWith(".mp4"), qPrintable(entry.fileName));
    QCOMPARE(QStringList({entry.resolution, entry.duration, entry.size}),
             QStringList({"640*480", "00:00:03", "68.36KB"}));
    QCOMPARE(readFile(entry.path), data);
    QVERIFY(!QFileInfo::exists(m_file));
}

void TstPreview::closingKeepsRecording()
{
    const QByteArray data = randomBytes(1000);
    QVERIFY(writeFile(m_file, data));
    QSignalSpy history(SignalsTransfer::instance(), &SignalsTransfer::onAddHistoryFile);
    ModalDriver driver;
    driver.rejectDialog(QStringLiteral("DlgVideoClip"));
    DlgVideoClip dlg(m_file, nullptr, nullptr, true, false);
    QCOMPARE(dlg.exec(), 0);
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(history.count(), 0);
    QCOMPARE(readFile(m_file), data);   // kept for a later restore
    QVERIFY(entries(m_outDir).isEmpty());
}

// The output folder cannot be written: a message, then another folder is
// asked for. Given one, the recording is saved there and the folder kept;
// given none, the window stays with the recording untouched.
void TstPreview::unwritableFolder_data()
{
    QTest::addColumn<bool>("chooseAnother");
    QTest::newRow("another folder") << true;
    QTest::newRow("give up") << false;
}

void TstPreview::unwritableFolder()
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
    driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
    DlgVideoClip dlg(m_file, nullptr, nullptr, true, true);
    QSignalSpy finished(&dlg, &QDialog::finished);
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(asked, QStringList{bad}, 20000);
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
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

void TstPreview::missingRecordingIsReported()
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
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(driver.seen().size(), 1);
    QCOMPARE(asked, 0);
}

void TstPreview::failedConversionKeepsWindow()
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
    QVERIFY(driver.waitFinished());
    QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
    QCOMPARE(finished.count(), 0);
    QVERIFY(dlg.findChild<QPushButton*>("btnSave")->isEnabled());
}

QTEST_MAIN(TstPreview)
#include "tst_preview.moc"
