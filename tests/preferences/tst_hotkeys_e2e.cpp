// The keyboard layout check on a real X server with a Latin and a Cyrillic
// layout: a non-Latin one is seen, and the Latin one can be selected.
#include <QtTest>

#include "Screencast.h"
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
        QCOMPARE(scInitialize(), int(kScInitOk));
    }
    void cleanupTestCase() { scUninitialize(); }

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
