// The preferences dialog over the engine double: each setting's default and round
// trip, Cancel and the close question, an unusable folder refused.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "core/RecordParameter.h"
#include "core/Utils.h"
#include "platform/framework/VxSettings.h"
#include "preferences/OptionDialog.h"
#include "preferences/OptionPage.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"

namespace {

QVariant shown(const OptionDialog& dialog, const QString& name)
{
    QWidget* w = dialog.findChild<QWidget*>(name);
    if (auto* box = qobject_cast<QAbstractButton*>(w); box && box->isCheckable())
        return box->isChecked();
    if (auto* colour = qobject_cast<ColourButton*>(w))
        return colour->colour().name();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentData();
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text();
    return QVariant();
}

void edit(OptionDialog& dialog, const QString& name, const QVariant& value)
{
    QWidget* w = dialog.findChild<QWidget*>(name);
    if (auto* box = qobject_cast<QAbstractButton*>(w); box && box->isCheckable())
        box->setChecked(value.toBool());
    else if (auto* colour = qobject_cast<ColourButton*>(w))
        colour->setColour(QColor(value.toString()));
    else if (auto* combo = qobject_cast<QComboBox*>(w))
        combo->setCurrentIndex(combo->findData(value));
    else if (auto* line = qobject_cast<QLineEdit*>(w))
        line->setText(value.toString());
}

void restart()
{
    RecordParameter::release();
    VxSettings::release();
}

} // namespace

class TstOptions : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

private slots:
    void init()
    {
        FakeScreencast::reset();
        QFile::remove(VxSettings::instance()->fileName());
        restart();
    }

    void cleanup() { restart(); }

    void settingRoundTrip_data()
    {
        QTest::addColumn<QString>("control");
        QTest::addColumn<QVariant>("byDefault");
        QTest::addColumn<QVariant>("changed");
        const auto row = [](const char* name, const QVariant& byDefault, const QVariant& changed) {
            QTest::newRow(name) << QString::fromLatin1(name) << byDefault << changed;
        };
        row("chkCursor", true, false);
        row("chkHalo", true, false);
        row("btnHaloColour", "#d9252b", "#00ff00");
        row("cmbClick", int(RP_MouseClick_Status), int(RP_MouseClick_Blink));
        row("btnClickColour", "#ffb517", "#0000ff");
        row("edtVideoFolder", Utils::getOriginalVideoOutputPath(), m_dir.filePath("videos"));
        row("edtSnapshotFolder", Utils::getOriginalSnapshotPath(), m_dir.filePath("shots/new"));
        row("cmbContainer", int(RP_Format_MOV), int(RP_Format_GIF));
        row("cmbCodec", int(RP_Codec_H264), int(RP_Codec_ProRes4444));
        row("cmbVideoQuality", int(RP_Quality_Medium), int(RP_Quality_Lossless));
        row("cmbFrameRate", 30, 15);
        row("cmbAudioFormat", int(RP_Format_MP3), int(RP_Format_FLAC));
        row("cmbAudioQuality", int(RP_Quality_Medium), int(RP_Quality_Lowest));
        row("cmbImageFormat", int(RP_Format_PNG), int(RP_Format_JPG));
        row("chkCountDown", true, false);
        row("chkBeep", false, true);
        row("chkHideFloat", false, true);
        row("chkShowBoundary", true, false);
        row("chkMoveRegion", false, true);
        row("chkExcludeFloat", false, true);
        row("chkHideDesktop", false, true);
        row("chkHideTaskbar", false, true);
        row("chkAutoSave", false, true);
        row("chkHideMain", true, false);
        row("rdoCloseQuits", false, true);
    }

    void settingRoundTrip()
    {
        QFETCH(QString, control);
        QFETCH(QVariant, byDefault);
        QFETCH(QVariant, changed);
        {
            OptionDialog dialog;
            QCOMPARE(shown(dialog, control), byDefault);
            edit(dialog, control, changed);
            QCOMPARE(shown(dialog, control), changed);
            QVERIFY(dialog.isModified());
            dialog.findChild<QPushButton*>("btnOK")->click();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        // Seen at once by the running program, and after a restart.
        QCOMPARE(shown(OptionDialog(), control), changed);
        restart();
        OptionDialog reread;
        QCOMPARE(shown(reread, control), changed);
        QVERIFY(!reread.isModified());
    }

    void leavingWithoutOK_data()
    {
        QTest::addColumn<int>("answer"); // to the question on close; 0: Cancel pressed
        QTest::addColumn<bool>("stored");
        QTest::addColumn<bool>("open");
        QTest::newRow("Cancel keeps nothing") << 0 << false << false;
        QTest::newRow("close, No keeps nothing") << int(QMessageBox::No) << false << false;
        QTest::newRow("close, Yes stores") << int(QMessageBox::Yes) << true << false;
        QTest::newRow("close, Cancel stays open") << int(QMessageBox::Cancel) << false << true;
    }

    void leavingWithoutOK()
    {
        QFETCH(int, answer);
        QFETCH(bool, stored);
        QFETCH(bool, open);
        OptionDialog dialog;
        dialog.show();
        const char* const controls[] = {"chkCursor", "chkCountDown", "chkHideMain"};
        for (const char* name : controls)
            edit(dialog, name, false);
        edit(dialog, "cmbFrameRate", 60);
        edit(dialog, "edtVideoFolder", m_dir.filePath("elsewhere"));
        ModalDriver driver(30000);
        if (answer != 0)
            driver.clickButton(answer);
        if (answer == 0)
            dialog.findChild<QPushButton*>("btnCancel")->click();
        else
            dialog.close();
        DRIVER_DONE(driver, 30000);
        QCOMPARE(dialog.isVisible(), open);
        restart();
        OptionDialog reread;
        for (const char* name : controls)
            QCOMPARE(shown(reread, name).toBool(), !stored);
        QCOMPARE(shown(reread, "cmbFrameRate").toInt(), stored ? 60 : 30);
        QCOMPARE(VxSettings::instance()->containsApplicationParam("Path/VideoFolder"), stored);
    }

    void unusableFolderRefused()
    {
        QFile blocker(m_dir.filePath("plain-file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        OptionDialog dialog(SETTINGPAGE_Record);
        dialog.show();
        edit(dialog, "cmbFrameRate", 10);
        edit(dialog, "edtSnapshotFolder", blocker.fileName() + "/shots");
        ModalDriver driver(30000);
        driver.clickButton(QMessageBox::Ok);
        dialog.findChild<QPushButton*>("btnOK")->click();
        DRIVER_DONE(driver, 30000);
        // Still open on the page to mend, and nothing of that page stored.
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.currentPage(), int(SETTINGPAGE_Output));
        QCOMPARE(RecordParameter::instance()->getVideoFrameRate(), 30);
        QVERIFY(!VxSettings::instance()->containsApplicationParam("Path/ScreenshotsFolder"));
    }
};

QTEST_MAIN(TstOptions)
#include "tst_options.moc"
