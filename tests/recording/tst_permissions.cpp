// The permissions guide offscreen: its form, the page and texts for each
// kind, the pictures by kind, language and scale, the layout for both
// reading directions, and the two links with the starter and the quit
// injected.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QProcess>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <csignal>

#include "recording/DlgSetPermissions.h"
#include "tests/support/ModalDriver.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "tests/support/WidgetTestHelpers.h"

namespace {

struct Started
{
    QString program;
    QStringList arguments;
};

template <class T = QWidget>
T* part(QWidget& dialog, const char* name)
{
    T* w = dialog.findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qWarning("missing %s", name);
    return w;
}

bool shown(QWidget& dialog, const char* name)
{
    return part(dialog, name)->isVisibleTo(&dialog);
}

QString suffix()
{
    return qApp->devicePixelRatio() > 1.0 ? QStringLiteral("@2x.png") : QStringLiteral(".png");
}

QImage pictureOf(QWidget& dialog, const char* label)
{
    const QPixmap pixmap = part<QLabel>(dialog, label)->pixmap(Qt::ReturnByValue);
    return pixmap.isNull() ? QImage() : pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

QImage resource(const QString& name)
{
    if (name.isEmpty())
        return QImage();
    const QImage image(":/guide/" + name + suffix());
    return image.isNull() ? image : image.convertToFormat(QImage::Format_ARGB32);
}

int leftOf(QWidget& dialog, const char* name)
{
    QWidget* w = part(dialog, name);
    return w->mapTo(&dialog, QPoint(0, 0)).x();
}

void setLanguage(const QString& language)
{
    VxSettings::instance()->setCurrentLanguage(language);
}

void clickLink(QWidget& dialog, const char* name, Qt::MouseButton button = Qt::LeftButton)
{
    QLabel* link = part<QLabel>(dialog, name);
    QTest::mouseClick(link, button, Qt::NoModifier, link->rect().center());
}

} // namespace

class TestPermissions : public QObject
{
    Q_OBJECT

    QVector<Started> m_started;
    bool m_startResult = true;
    QVector<int> m_quits;

private slots:
    void init()
    {
        setLanguage("en");
        QApplication::setLayoutDirection(Qt::LeftToRight);
        m_started.clear();
        m_quits.clear();
        m_startResult = true;
        DlgSetPermissions::setStarter([this](const QString& program, const QStringList& arguments) {
            m_started.append({program, arguments});
            return m_startResult;
        });
        DlgSetPermissions::setQuitter([this](int code) { m_quits.append(code); });
        VxSettings::instance()->removeApplicationParam("restart");
    }

    void cleanup()
    {
        DlgSetPermissions::setStarter(nullptr);
        DlgSetPermissions::setQuitter(nullptr);
        setLanguage("en");
        QApplication::setLayoutDirection(Qt::LeftToRight);
    }

    void pages_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("showGuide");
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("stepOne");
        QTest::addColumn<bool>("stepTwoNumber");
        QTest::addColumn<bool>("restartLink");
        QTest::newRow("camera, never asked") << 0 << true << "page_2" << false << true << true;
        QTest::newRow("screen, never asked") << 2 << true << "page" << true << true << true;
        QTest::newRow("accessibility, never asked") << 3 << true << "page" << true << true << false;
        QTest::newRow("camera, refused") << 0 << false << "page" << false << false << true;
        QTest::newRow("accessibility, refused") << 3 << false << "page" << false << false << false;
    }

    void pages()
    {
        QFETCH(int, kind);
        QFETCH(bool, showGuide);
        QFETCH(QString, page);
        QFETCH(bool, stepOne);
        QFETCH(bool, stepTwoNumber);
        QFETCH(bool, restartLink);
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(static_cast<Privacy_Setting>(kind), showGuide);
        QCOMPARE(part<QStackedWidget>(dialog, "stackedWidget")->currentWidget()->objectName(), page);
        if (page == "page") {
            QCOMPARE(shown(dialog, "frmSystem"), stepOne);
            QVERIFY(shown(dialog, "frmSystem3"));
            QCOMPARE(shown(dialog, "frmIcon2"), stepTwoNumber);
            QVERIFY(!shown(dialog, "frmIcon2_R"));
            QCOMPARE(shown(dialog, "lblUrlReStart"), restartLink);
            QVERIFY(shown(dialog, "lblUrlOpenSet"));
        } else {
            QVERIFY(shown(dialog, "frmSystem2"));
            QVERIFY(shown(dialog, "lblSysPic3"));
        }
        QVERIFY(shown(dialog, "lblTittleTips"));
        QVERIFY(shown(dialog, "btnFinish"));
    }

    void pictures_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("step1");
        QTest::addColumn<QString>("step2");
        QTest::addColumn<QString>("single");
        QTest::newRow("camera") << 0 << "skin_screen_en" << "skin_cam1_en" << "skin_cam_en";
        QTest::newRow("microphone") << 1 << "skin_screen_en" << "skin_mic1_en" << "skin_mic_en";
        QTest::newRow("screen") << 2 << "skin_screen_en" << "skin_screen1_en" << "";
        QTest::newRow("accessibility") << 3 << "skin_accessibility_en" << "skin_accessibility1_en" << "";
        QTest::newRow("unknown kind reads as screen") << 5 << "skin_screen_en" << "skin_screen1_en" << "";
    }

    void pictures()
    {
        QFETCH(int, kind);
        QFETCH(QString, step1);
        QFETCH(QString, step2);
        QFETCH(QString, single);
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(static_cast<Privacy_Setting>(kind), true);
        const QImage expected1 = resource(step1);
        const QImage expected2 = resource(step2);
        QVERIFY(!expected1.isNull());
        QVERIFY(!expected2.isNull());
        const QSize stepSize = qApp->devicePixelRatio() > 1.0 ? QSize(320, 200) : QSize(160, 100);
        QCOMPARE(expected1.size(), stepSize);
        QCOMPARE(pictureOf(dialog, "lblSysPic1_R"), expected1);
        QCOMPARE(pictureOf(dialog, "lblSysPic2_R"), expected2);
        QCOMPARE(pictureOf(dialog, "lblSysPic3"), resource(single));
        QCOMPARE(pictureOf(dialog, "lblSysPic3").isNull(), single.isEmpty());
        for (const char* label : {"lblSysPic1_R", "lblSysPic2_R", "lblSysPic3"})
            QVERIFY2(part<QLabel>(dialog, label)->hasScaledContents(), label);
    }

    // A language without pictures of its own takes the English ones for
    // every step; one with its own takes those, and a step it lacks stays
    // empty.
    void pictureLanguages()
    {
        setLanguage("fr");
        {
            DlgSetPermissions dialog(nullptr);
            dialog.setshowGuide(Privacy_Camera, true);
            QCOMPARE(pictureOf(dialog, "lblSysPic1_R"), resource("skin_screen_en"));
            QCOMPARE(pictureOf(dialog, "lblSysPic2_R"), resource("skin_cam1_en"));
            QCOMPARE(pictureOf(dialog, "lblSysPic3"), resource("skin_cam_en"));
        }
        setLanguage("de");
        {
            DlgSetPermissions dialog(nullptr);
            dialog.setshowGuide(Privacy_ScreenCapture, true);
            const QImage step1 = resource("skin_screen_de");
            QVERIFY(!step1.isNull());
            QCOMPARE(pictureOf(dialog, "lblSysPic1_R"), step1);
            QCOMPARE(pictureOf(dialog, "lblSysPic2_R"), resource("skin_screen1_de"));
        }
        {
            DlgSetPermissions dialog(nullptr);
            dialog.setshowGuide(Privacy_Camera, true);
            QCOMPARE(pictureOf(dialog, "lblSysPic1_R"), resource("skin_screen_de"));
            QVERIFY(pictureOf(dialog, "lblSysPic2_R").isNull());
            QVERIFY(pictureOf(dialog, "lblSysPic3").isNull());
        }
    }

    void directions_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<int>("appDirection");
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("en") << "en" << int(Qt::LeftToRight) << false;
        QTest::newRow("ar") << "ar" << int(Qt::LeftToRight) << true;
        QTest::newRow("ur") << "ur" << int(Qt::LeftToRight) << true;
        QTest::newRow("en, application right to left") << "en" << int(Qt::RightToLeft) << false;
        QTest::newRow("ar, application right to left") << "ar" << int(Qt::RightToLeft) << true;
        QTest::newRow("arz is not right to left") << "arz" << int(Qt::RightToLeft) << false;
    }

    // Left to right: numbers and title icon on the left, pictures on the
    // right; right to left the other way round, whatever direction the
    // application lays out in.
    void directions()
    {
        QFETCH(QString, language);
        QFETCH(int, appDirection);
        QFETCH(bool, rightToLeft);
        setLanguage(language);
        QApplication::setLayoutDirection(static_cast<Qt::LayoutDirection>(appDirection));
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_ScreenCapture, true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));

        const char* near1 = rightToLeft ? "lblIcon1_R" : "lblIcon1";
        const char* far1 = rightToLeft ? "lblIcon1" : "lblIcon1_R";
        const char* near2 = rightToLeft ? "lblIcon2_R" : "lblIcon2";
        const char* far2 = rightToLeft ? "lblIcon2" : "lblIcon2_R";
        const char* pic1 = rightToLeft ? "lblSysPic1" : "lblSysPic1_R";
        const char* otherPic1 = rightToLeft ? "lblSysPic1_R" : "lblSysPic1";
        const char* pic2 = rightToLeft ? "lblSysPic2" : "lblSysPic2_R";
        const char* otherPic2 = rightToLeft ? "lblSysPic2_R" : "lblSysPic2";
        const char* icon = rightToLeft ? "lblTittleIcon_R" : "lblTittleIcon";
        const char* otherIcon = rightToLeft ? "lblTittleIcon" : "lblTittleIcon_R";
        for (const char* name : {near1, near2, pic1, pic2, icon})
            QVERIFY2(part(dialog, name)->isVisible(), name);
        for (const char* name : {far1, far2, otherPic1, otherPic2, otherIcon})
            QVERIFY2(!part(dialog, name)->isVisible(), name);
        QVERIFY(!pictureOf(dialog, pic1).isNull());
        QVERIFY(!pictureOf(dialog, pic2).isNull());

        const int text1 = leftOf(dialog, "lblText1");
        const int text3 = leftOf(dialog, "lblText3");
        const int title = leftOf(dialog, "lblTittleTips");
        if (rightToLeft) {
            QVERIFY(leftOf(dialog, pic1) < text1);
            QVERIFY(text1 < leftOf(dialog, near1));
            QVERIFY(leftOf(dialog, pic2) < text3);
            QVERIFY(text3 < leftOf(dialog, near2));
            QVERIFY(title < leftOf(dialog, icon));
            QVERIFY(leftOf(dialog, "btnFinish") < dialog.width() / 2);
        } else {
            QVERIFY(leftOf(dialog, near1) < text1);
            QVERIFY(text1 < leftOf(dialog, pic1));
            QVERIFY(leftOf(dialog, near2) < text3);
            QVERIFY(text3 < leftOf(dialog, pic2));
            QVERIFY(leftOf(dialog, icon) < title);
            QVERIFY(leftOf(dialog, "btnFinish") > dialog.width() / 2);
        }
        const Qt::LayoutDirection textDirection = rightToLeft ? Qt::RightToLeft : Qt::LeftToRight;
        for (const char* text : {"lblTittleTips", "lblText1", "lblText3", "lblUrlOpenSet"})
            QCOMPARE(part(dialog, text)->layoutDirection(), textDirection);
    }

    // A language change re-lays the guide out for the new direction and
    // keeps the texts that depend on the kind.
    void languageChange()
    {
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_ScreenCapture, true);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        const QString reason = part<QLabel>(dialog, "lblTittleTips")->text();

        setLanguage("ar");
        QEvent change(QEvent::LanguageChange);
        QCoreApplication::sendEvent(&dialog, &change);
        QCOMPARE(part<QLabel>(dialog, "lblTittleTips")->text(), reason);
        QVERIFY(!part<QLabel>(dialog, "lblText3")->text().isEmpty());
        QVERIFY(!part<QLabel>(dialog, "lblUrlOpenSet")->text().isEmpty());
        QCOMPARE(dialog.windowTitle(), VxProductInfo::instance()->productName(""));
        QVERIFY(part(dialog, "lblIcon1_R")->isVisible());
        QVERIFY(part(dialog, "lblIcon2_R")->isVisible());
        QVERIFY(!part(dialog, "lblIcon1")->isVisible());
        QVERIFY(part(dialog, "lblSysPic2")->isVisible());
        QVERIFY(!part(dialog, "lblSysPic2_R")->isVisible());

        setLanguage("en");
        QCoreApplication::sendEvent(&dialog, &change);
        QVERIFY(part(dialog, "lblIcon1")->isVisible());
        QVERIFY(part(dialog, "lblIcon2")->isVisible());
        QVERIFY(!part(dialog, "lblIcon2_R")->isVisible());
        QVERIFY(part(dialog, "lblSysPic2_R")->isVisible());
        QVERIFY(!part(dialog, "lblSysPic2")->isVisible());
        QVERIFY(!pictureOf(dialog, "lblSysPic2_R").isNull());
    }

    // With only the settings step left its number stays hidden in both
    // directions, also across a direction change.
    void singleStepBothDirections()
    {
        for (const char* language : {"ar", "en"}) {
            setLanguage(language);
            DlgSetPermissions dialog(nullptr);
            dialog.setshowGuide(Privacy_Camera, false);
            dialog.show();
            QVERIFY(QTest::qWaitForWindowExposed(&dialog));
            for (const char* name : {"frmSystem", "frmIcon2", "frmIcon2_R"})
                QVERIFY2(!part(dialog, name)->isVisible(), name);
            setLanguage(QString(language) == "ar" ? "en" : "ar");
            QEvent change(QEvent::LanguageChange);
            QCoreApplication::sendEvent(&dialog, &change);
            for (const char* name : {"frmSystem", "frmIcon2", "frmIcon2_R"})
                QVERIFY2(!part(dialog, name)->isVisible(), name);
            QVERIFY(part(dialog, "frmSystem3")->isVisible());
        }
    }

    void settingsTool_data()
    {
        QTest::addColumn<QString>("desktop");
        QTest::addColumn<int>("kind");
        QTest::addColumn<QStringList>("installed");
        QTest::addColumn<QStringList>("expected"); // tool name, then its arguments
        const QStringList both{"gnome-control-center", "pavucontrol"};
        QTest::newRow("GNOME microphone") << "GNOME" << 1 << both << QStringList{"gnome-control-center", "sound"};
        QTest::newRow("GNOME Classic microphone")
            << "GNOME-Classic:GNOME" << 1 << both << QStringList{"gnome-control-center", "sound"};
        QTest::newRow("XFCE microphone") << "XFCE" << 1 << both << QStringList{"pavucontrol", "--tab=4"};
        QTest::newRow("GNOME microphone, no control center")
            << "GNOME" << 1 << QStringList{"pavucontrol"} << QStringList{"pavucontrol", "--tab=4"};
        QTest::newRow("GNOME camera") << "GNOME" << 0 << both << QStringList{"gnome-control-center", "camera"};
        QTest::newRow("KDE camera") << "KDE" << 0 << both << QStringList();
        QTest::newRow("no desktop microphone") << "" << 1 << both << QStringList{"pavucontrol", "--tab=4"};
        QTest::newRow("GNOME screen") << "GNOME" << 2 << both << QStringList();
        QTest::newRow("nothing installed") << "GNOME" << 1 << QStringList() << QStringList();
    }

    // The link opens the desktop's matching tool, found on PATH.
    void settingsTool()
    {
        QFETCH(QString, desktop);
        QFETCH(int, kind);
        QFETCH(QStringList, installed);
        QFETCH(QStringList, expected);
        QTemporaryDir bin;
        for (const QString& tool : installed) {
            QFile file(bin.filePath(tool));
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("#!/bin/sh\nexit 0\n");
            file.close();
            QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        const QByteArray oldPath = qgetenv("PATH");
        const QByteArray oldDesktop = qgetenv("XDG_CURRENT_DESKTOP");
        qputenv("PATH", bin.path().toLocal8Bit());
        qputenv("XDG_CURRENT_DESKTOP", desktop.toLocal8Bit());

        QStringList command = DlgSetPermissions::settingsCommand(static_cast<Privacy_Setting>(kind));
        if (!expected.isEmpty())
            expected[0] = bin.filePath(expected[0]);
        QCOMPARE(command, expected);

        // The link starts it, each time it is clicked, and the guide stays.
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(static_cast<Privacy_Setting>(kind), false);
        ModalDriver driver;
        driver.expect(
            [&](QWidget* modal) {
                clickLink(*modal, "lblUrlOpenSet");
                clickLink(*modal, "lblUrlOpenSet");
                QVERIFY(modal->isVisible());
                QTest::mouseClick(part<QToolButton>(*modal, "btnFinish"), Qt::LeftButton);
            },
            "DlgSetPermissions");
        const int result = dialog.exec();
        qputenv("PATH", oldPath);
        qputenv("XDG_CURRENT_DESKTOP", oldDesktop);
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(m_started.size(), expected.isEmpty() ? 0 : 2);
        for (const Started& started : m_started) {
            QCOMPARE(started.program, expected.first());
            QCOMPARE(started.arguments, expected.mid(1));
        }
        QVERIFY(m_quits.isEmpty());
    }

    // Only a left click released over a link counts.
    void linkButtons()
    {
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_ScreenCapture, false);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (const char* link : {"lblUrlReStart", "lblUrlOpenSet"}) {
            clickLink(dialog, link, Qt::RightButton);
            clickLink(dialog, link, Qt::MiddleButton);
            QLabel* label = part<QLabel>(dialog, link);
            QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, label->rect().center());
            QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, QPoint(-5, label->height() + 5));
        }
        QVERIFY(m_started.isEmpty());
        QVERIFY(m_quits.isEmpty());
        QVERIFY(dialog.isVisible());
        QCOMPARE(VxSettings::instance()->applicationParam("restart", false).toBool(), false);
    }

    // The restart: the program's own executable with the original
    // arguments, started detached once this process has ended; then the
    // guide closes, "restart" is set and the event loop ends with 0.
    void restartLink()
    {
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Microphone, false);
        ModalDriver driver;
        driver.expect([&](QWidget* modal) { clickLink(*modal, "lblUrlReStart"); }, "DlgSetPermissions");
        const int result = dialog.exec();
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(result, int(QDialog::Accepted));
        QCOMPARE(m_started.size(), 1);
        const QStringList expected = DlgSetPermissions::restartCommand(
            QCoreApplication::applicationPid(), QCoreApplication::applicationFilePath(),
            QCoreApplication::arguments().mid(1));
        QCOMPARE(m_started[0].program, QString("/bin/sh"));
        QCOMPARE(QStringList{m_started[0].program} + m_started[0].arguments, expected);
        QCOMPARE(m_quits, QVector<int>({0}));
        QCOMPARE(VxSettings::instance()->applicationParam("restart", false).toBool(), true);
    }

    // When the new instance cannot be started the program stays.
    void restartStartFails()
    {
        m_startResult = false;
        DlgSetPermissions dialog(nullptr);
        dialog.setshowGuide(Privacy_Camera, false);
        ModalDriver driver;
        driver.expect(
            [&](QWidget* modal) {
                clickLink(*modal, "lblUrlReStart");
                QVERIFY(modal->isVisible());
                QTest::mouseClick(part<QToolButton>(*modal, "btnFinish"), Qt::LeftButton);
            },
            "DlgSetPermissions");
        const int result = dialog.exec();
        QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
        QCOMPARE(result, int(QDialog::Rejected));
        QCOMPARE(m_started.size(), 1);
        QVERIFY(m_quits.isEmpty());
        QCOMPARE(VxSettings::instance()->applicationParam("restart", false).toBool(), false);
    }

    // The restart command itself: it waits while the old process lives,
    // then runs the program with its arguments untouched.
    void restartCommandRuns()
    {
        QTemporaryDir dir;
        QProcess old;
        old.start("sleep", {"30"});
        QVERIFY(old.waitForStarted());
        const QString out = dir.filePath("out.txt");
        const QString marker = dir.filePath("evil");
        const QStringList arguments{"-c", "printf '%s\\n' \"$@\" > \"$0\"", out, "a b", "$(touch " + marker + ")",
                                    "'quoted'", ""};
        const QStringList command = DlgSetPermissions::restartCommand(old.processId(), "/bin/sh", arguments);
        QProcess restarter;
        restarter.start(command.first(), command.mid(1));
        QVERIFY(restarter.waitForStarted());
        QTest::qWait(400);
        QVERIFY(!QFile::exists(out));
        QCOMPARE(restarter.state(), QProcess::Running);

        old.kill();
        QVERIFY(old.waitForFinished(5000));
        QVERIFY(restarter.waitForFinished(10000));
        QCOMPARE(restarter.exitCode(), 0);
        QFile file(out);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(file.readAll()),
                 QString("a b\n$(touch %1)\n'quoted'\n\n").arg(marker));
        QVERIFY(!QFile::exists(marker));
    }
};

QTEST_MAIN(TestPermissions)
#include "tst_permissions.moc"
