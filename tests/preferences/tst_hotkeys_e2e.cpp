// The hotkeys page with the real engine: a rebound key fires at once and the old
// one no longer does; the layout check with Latin and Cyrillic layouts.
#include <QtTest>

#include "Screencast.h"
#include "core/RecordTypes.h"
#include "core/SignalsTransfer.h"
#include "platform/framework/VxSettings.h"
#include "preferences/CMASShortcut.h"
#include "preferences/HotkeyPage.h"
#include "widgets/CustomKeySequenceEdit.h"
#include "widgets/inputMethod.h"

namespace {

bool run(const QString& program, const QStringList& arguments)
{
    return QProcess::execute(program, arguments) == 0;
}

} // namespace

class TstHotkeysE2E : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(qEnvironmentVariableIsSet("DISPLAY"), "run inside scripts/with-test-env.sh");
        QVERIFY2(!QStandardPaths::findExecutable("xdotool").isEmpty(), "xdotool");
        QCOMPARE(scInitialize(), int(kScInitOk));
    }

    void cleanupTestCase()
    {
        CMASShortcut::release();
        scUninitialize();
    }

    void reboundKeyFiresAtOnce()
    {
        for (int id = RP_HotKey_Pause; id <= RP_HotKey_Float; ++id)
            VxSettings::instance()->removeApplicationParam(CMASShortcut::settingsKey(id));
        CMASShortcut::instance()->reload();
        QSignalSpy presses(SignalsTransfer::instance(), &SignalsTransfer::hotKeyPressed);

        HotkeyPage page;
        page.findChild<CustomKeySequenceEdit*>(QStringLiteral("hotkey_keysStop"))
            ->setKeySequence(QKeySequence(QStringLiteral("Ctrl+Shift+F7")));
        QString error;
        QVERIFY2(page.apply(&error), qPrintable(error));

        // Presses arrive in order: once the new key is seen, a press of the
        // old one would have been seen before it.
        QVERIFY(run("xdotool", {"key", "ctrl+shift+F9"}));
        QVERIFY(run("xdotool", {"key", "ctrl+shift+F7"}));
        QTRY_VERIFY_WITH_TIMEOUT(!presses.isEmpty(), 20000);
        QCOMPARE(presses.count(), 1);
        QCOMPARE(presses.first().first().toInt(), int(RP_HotKey_Stop));
    }

    void latinLayoutSelected()
    {
        if (QStandardPaths::findExecutable("setxkbmap").isEmpty())
            QSKIP("setxkbmap is not installed");
        QVERIFY(run("setxkbmap", {"-layout", "ru,us"}));
        QTRY_VERIFY_WITH_TIMEOUT(!inputMethod::currentInputMethodIsABC(), 20000);
        inputMethod::setInputMethodABC();
        QVERIFY(inputMethod::currentInputMethodIsABC());
        QVERIFY(run("setxkbmap", {"-layout", "us"}));
    }
};

QTEST_MAIN(TstHotkeysE2E)
#include "tst_hotkeys_e2e.moc"
