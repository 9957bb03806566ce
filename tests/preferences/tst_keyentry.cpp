// Hotkey entry: the keys each widget takes, the layout question before the
// first key, and the page storing and grabbing its keys.
#include <QMessageBox>
#include <QtTest>

#include "core/RecordTypes.h"
#include "platform/framework/VxSettings.h"
#include "preferences/CMASShortcut.h"
#include "preferences/HotkeyPage.h"
#include "tests/support/FakeInputSource.h"
#include "tests/support/FakeScreencast.h"
#include "tests/support/ModalDriver.h"
#include "widgets/CustomKeySequenceEdit.h"
#include "widgets/CustomLineEdit.h"
#include "widgets/MapUtils.h"

namespace {

// One press and release per chord, the modifiers only as flags: a user's
// modifier keys would be presses of their own.
void type(QWidget* w, const QList<int>& chords)
{
    for (int chord : chords) {
        const int key = chord & ~int(Qt::KeyboardModifierMask);
        const auto mods = Qt::KeyboardModifiers(chord & int(Qt::KeyboardModifierMask));
        QKeyEvent press(QEvent::KeyPress, key, mods);
        QApplication::sendEvent(w, &press);
        QKeyEvent release(QEvent::KeyRelease, key, mods);
        QApplication::sendEvent(w, &release);
    }
}

const char* const kKeys[] = {"keysPause", "keysStop", "keysSnapshot", "keysWebCam", "keysFloat"};

} // namespace

class TstKeyEntry : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        FakeScreencast::reset();
        FakeInputSource::setLatin(1);
        for (const char* key : kKeys)
            VxSettings::instance()->removeApplicationParam(QString::fromLatin1(key));
    }

    void cleanup() { CMASShortcut::release(); }

    void keyNames()
    {
        QCOMPARE(MapUtils::instance()->count(), 78);
        QVERIFY(!MapUtils::instance()->contains(QStringLiteral("option")));
        QCOMPARE(MapUtils::instance()->code(QStringLiteral("F1")), 0x6B737A00);
    }

    void entry_data()
    {
        QTest::addColumn<bool>("sequenceEdit");
        QTest::addColumn<QList<int>>("chords");
        QTest::addColumn<int>("latin");
        QTest::addColumn<int>("answer"); // to the layout question; 0: not asked
        QTest::addColumn<QString>("expected");
        const int shiftA = Qt::SHIFT | Qt::Key_A;
        auto line = [](const char* name, QList<int> chords, const QString& expected) {
            QTest::newRow(name) << false << chords << 1 << 0 << expected;
        };
        line("Up is not a known name", {Qt::Key_Up}, "start");
        line("PgUp is not a known name", {Qt::Key_PageUp}, "start");
        line("Alt alone", {Qt::ALT | Qt::Key_Alt}, "start");
        line("Meta alone", {Qt::META | Qt::Key_Meta}, "start");
        line("Shift alone", {Qt::SHIFT | Qt::Key_Shift}, "start");
        line("Home", {Qt::Key_Home}, "Home");
        line("End", {Qt::Key_End}, "End");
        line("Esc", {Qt::Key_Escape}, "Esc");
        line("Tab", {Qt::Key_Tab}, "Tab");
        line("F13", {Qt::Key_F13}, "F13");
        line("Shift+A", {shiftA}, QKeySequence(shiftA).toString(QKeySequence::NativeText));
        line("Backspace", {Qt::Key_Backspace}, QCoreApplication::translate("CustomLineEdit", "No Hotkey"));
        auto seq = [](const char* name, QList<int> chords, int latin, int answer, const QString& expected) {
            QTest::newRow(name) << true << chords << latin << answer << expected;
        };
        seq("second chord dropped", {Qt::CTRL | Qt::Key_S, Qt::Key_K}, 1, 0, "Ctrl+S");
        seq("key without modifier", {Qt::Key_K}, 1, 0, "");
        seq("Alt chord", {Qt::ALT | Qt::Key_K}, 1, 0, "");
        seq("Backspace clears", {Qt::Key_Backspace}, 1, 0, "");
        seq("non-Latin layout, Cancel", {Qt::CTRL | Qt::Key_K}, 0, QMessageBox::Cancel, "Ctrl+Shift+F9");
        seq("non-Latin layout, Ok", {Qt::CTRL | Qt::Key_K}, 0, QMessageBox::Ok, "Ctrl+K");
    }

    void entry()
    {
        QFETCH(bool, sequenceEdit);
        QFETCH(QList<int>, chords);
        QFETCH(int, latin);
        QFETCH(int, answer);
        QFETCH(QString, expected);
        FakeInputSource::setLatin(latin);
        const int selects = FakeInputSource::selectCount();
        ModalDriver driver;
        if (answer)
            driver.clickButton(answer);
        if (!sequenceEdit) {
            CustomLineEdit edit;
            edit.setText(QStringLiteral("start"));
            type(&edit, chords);
            QCOMPARE(edit.text(), expected);
            return;
        }
        CustomKeySequenceEdit edit;
        edit.setKeySequence(QKeySequence(QStringLiteral("Ctrl+Shift+F9")));
        type(&edit, chords);
        DRIVER_DONE(driver, 20000);
        QCOMPARE(edit.keySequence().toString(QKeySequence::PortableText), expected);
        QCOMPARE(FakeInputSource::selectCount() - selects, answer == QMessageBox::Ok ? 1 : 0);
    }

    void apply_data()
    {
        QTest::addColumn<QString>("stopKey");
        QTest::addColumn<bool>("takenByOthers");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<uint>("grabbed"); // the start/stop keysym afterwards
        QTest::newRow("rebound") << "Ctrl+Shift+F7" << false << true << 0xffc4u;
        QTest::newRow("removed") << "" << false << true << 0u;
        QTest::newRow("same as pause") << "Ctrl+Shift+F10" << false << false << 0xffc6u;
        QTest::newRow("no global key") << QKeySequence(Qt::CTRL | Qt::Key_VolumeUp).toString() << false << false
                                       << 0xffc6u;
        QTest::newRow("held by another program") << "Ctrl+Shift+F7" << true << false << 0xffc6u;
    }

    void apply()
    {
        QFETCH(QString, stopKey);
        QFETCH(bool, takenByOthers);
        QFETCH(bool, accepted);
        QFETCH(uint, grabbed);
        if (takenByOthers)
            FakeScreencast::setHotKeyResult(0xffc4, kHotKeyControl | kHotKeyShift, kHotKeyTaken);
        CMASShortcut::instance()->reload();
        HotkeyPage page;
        auto* edit = page.findChild<CustomKeySequenceEdit*>(QStringLiteral("hotkey_keysStop"));
        QVERIFY(edit);
        edit->setKeySequence(QKeySequence(stopKey, QKeySequence::PortableText));
        QVERIFY(page.isModified());
        QString error;
        QCOMPARE(page.apply(&error), accepted);
        QCOMPARE(error.isEmpty(), accepted);
        QCOMPARE(FakeScreencast::hotKeys().value(RP_HotKey_Stop).keysym, grabbed);
        QCOMPARE(CMASShortcut::keySequence(RP_HotKey_Stop).toString(),
                 accepted ? stopKey : QStringLiteral("Ctrl+Shift+F9"));
        QCOMPARE(page.isModified(), !accepted);
    }
};

QTEST_MAIN(TstKeyEntry)
#include "tst_keyentry.moc"
