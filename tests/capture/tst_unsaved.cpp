// Which file the restore offer may name: only a recording this program made
// in its temporary folder (or the engine's sound recording). Anything else
// the settings name is neither offered nor deleted by Discard.
#include <QApplication>
#include <QtTest>
#include <QMessageBox>

#include "capture/UnsavedOffer.h"
#include "core/UnsavedRecording.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "tests/support/TestHelpers.h"

using namespace testsupport;

namespace {

QString named()
{
    return VxSettings::instance()->applicationParam(QStringLiteral("outputVideo")).toString();
}

} // namespace

class TstUnsaved : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FakeScreencast::reset();
        m_root = Utils::getRecorderTmpRoot();
        m_user = QDir::homePath() + "/Documents/holiday.mp4";
        QDir().mkpath(QFileInfo(m_user).path());
        QVERIFY(writeFile(m_user, "precious"));
        UnsavedRecording::forget();
    }

    void cleanup()
    {
        QDir(m_root).removeRecursively();
        QFile::remove(m_user);
        UnsavedRecording::forget();
    }

    void onlyOwnFilesAreOffered_data()
    {
        QTest::addColumn<QString>("setting");   // "@root", "@docs" and "@user" stand for paths
        QTest::addColumn<QString>("link");      // made as a symbolic link to the user's file
        QTest::addColumn<bool>("offered");
        QTest::newRow("the screen movie") << "@root/.ScreenRecorder.mp4" << "" << true;
        QTest::newRow("the screen gif") << "@root/.ScreenRecorder.gif" << "" << true;
        QTest::newRow("the webcam movie") << "@root/.CaptureCamera.mov" << "" << true;
        QTest::newRow("a user's file") << "@user" << "" << false;
        QTest::newRow("another name in the folder") << "@root/holiday.mp4" << "" << false;
        QTest::newRow("our name, another folder") << "@docs/.ScreenRecorder.mp4" << "" << false;
        QTest::newRow("climbing out and back") << "@root/../Screen Recorder/.ScreenRecorder.mp4" << "" << false;
        QTest::newRow("our name linked to a user's file") << "@root/.ScreenRecorder.mov"
                                                            << "@root/.ScreenRecorder.mov" << false;
    }

    void onlyOwnFilesAreOffered()
    {
        QFETCH(QString, setting);
        QFETCH(QString, link);
        QFETCH(bool, offered);
        const auto expand = [this](QString s) {
            return s.replace("@root", m_root).replace("@docs", QFileInfo(m_user).path()).replace("@user", m_user);
        };
        const QString path = expand(setting);
        if (!link.isEmpty())
            QVERIFY(QFile::link(m_user, expand(link)));
        else if (!QFileInfo::exists(path))
            QVERIFY(writeFile(path, "recorded"));
        UnsavedRecording::remember(path);

        QCOMPARE(UnsavedRecording::find(), offered ? path : QString());
        // A name refused once is not looked at again.
        QCOMPARE(named(), offered ? path : QString());
        QCOMPARE(readFile(m_user), QByteArray("precious"));
    }

    // The engine's own sound recording is trusted wherever the engine keeps it.
    void engineSoundIsOffered()
    {
        const QString sound = QDir::homePath() + "/engine-audio/last.wav";
        QVERIFY(QDir().mkpath(QFileInfo(sound).path()));
        QVERIFY(writeFile(sound, "RIFF"));
        FakeScreencast::setAudioRecordFile(sound);
        UnsavedRecording::remember(sound);
        QCOMPARE(UnsavedRecording::find(), sound);
        QFile::remove(sound);
    }

    // Before a start: a user's file named in the settings brings no question
    // and survives; the program's own leftover is offered and Discard deletes it.
    void discardDeletesOnlyOwnFiles()
    {
        UnsavedRecording::remember(m_user);
        {
            ModalDriver none;
            QVERIFY(UnsavedOffer::settleBeforeRecording(nullptr));
            QVERIFY(none.seen().isEmpty());
            VERIFY_DRIVER(none);
        }
        QCOMPARE(readFile(m_user), QByteArray("precious"));

        const QString own = m_root + "/.ScreenRecorder.mp4";
        QVERIFY(writeFile(own, "recorded"));
        UnsavedRecording::remember(own);
        ModalDriver driver;
        driver.clickButton(QMessageBox::Discard, "VxMessageBox");
        QVERIFY(UnsavedOffer::settleBeforeRecording(nullptr));
        DRIVER_DONE(driver, 10000);
        QVERIFY(!QFileInfo::exists(own));
        QCOMPARE(named(), QString());
    }

private:
    QString m_root;
    QString m_user;
};

QTEST_MAIN(TstUnsaved)
#include "tst_unsaved.moc"
