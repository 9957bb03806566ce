// Message box, dialog base (exec list, window flags), widget and frame bases.
#include <QApplication>
#include <QFrame>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

#include "tests/support/ModalDriver.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMainWindowBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxProductInfo.h"
#include "platform/framework/VxSettings.h"
#include "platform/framework/VxWidgetBase.h"

namespace {

#define VERIFY_DRIVER(driver) QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join('\n')))

class ProbeDialog : public VxDialogBase
{
public:
    using VxDialogBase::VxDialogBase;
    int retranslated = 0;

protected:
    void retranslateDerived() override { ++retranslated; }
};

// A frame built the way derived frames build theirs: the form installs its
// own vertical layout holding the client frame before the base adds the title.
class ProbeFrame : public VxMainWindowBase
{
public:
    explicit ProbeFrame(bool refuseDialogs = false, const QString& title = QString())
        : m_refuse(refuseDialogs)
        , m_title(title)
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        client = new QFrame(this);
        client->setObjectName(QStringLiteral("vxMainWindowClient"));
        layout->addWidget(client);
    }
    QFrame* client = nullptr;

protected:
    bool derivedProcGenerateWindowTitle(QString& title) override
    {
        title = m_title;
        return !m_title.isEmpty();
    }
    bool derivedProcShowAboutDialog() override { return m_refuse; }
    bool derivedProcShowUpdateDialog(VxApplicationUpdate*) override { return m_refuse; }

private:
    bool m_refuse;
    QString m_title;
};

} // namespace

class TstFrameworkDialogs : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxStaticReturnsClickedButton()
    {
        {
            ModalDriver driver;
            driver.clickButton(QMessageBox::No, QStringLiteral("VxMessageBox"));
            QCOMPARE(VxMessageBox::warning(nullptr, QString(), QStringLiteral("Disk full"),
                                           QMessageBox::Yes | QMessageBox::No),
                     int(QMessageBox::No));
            VERIFY_DRIVER(driver);
            QCOMPARE(driver.seen().at(0).title, VxProductInfo::instance()->productName());
        }
        // The driver every dialog test relies on fails loudly, not hangs.
        ModalDriver strict(200);
        strict.expect([](QWidget*) {}); // leaves the box open
        QCOMPARE(VxMessageBox::question(nullptr, QString(), QStringLiteral("stuck")), int(QMessageBox::No));
        QVERIFY(strict.failures().value(0).contains(QLatin1String("still open")));
    }

    void messageBoxEscapeAndClose_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("escape");
        QTest::addColumn<bool>("byClose");
        QTest::addColumn<int>("expected");
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        QTest::newRow("escape button not shown") << yesNo << int(QMessageBox::Cancel) << false
                                                 << int(QMessageBox::Cancel);
        QTest::newRow("escape button shown") << (yesNo | QMessageBox::Cancel) << int(QMessageBox::Yes) << false
                                             << int(QMessageBox::Yes);
        QTest::newRow("cancel by rule") << int(QMessageBox::Ok | QMessageBox::Cancel) << 0 << false
                                        << int(QMessageBox::Cancel);
        QTest::newRow("no by rule") << yesNo << 0 << false << int(QMessageBox::No);
        QTest::newRow("single button") << int(QMessageBox::Yes) << 0 << false << int(QMessageBox::Yes);
        QTest::newRow("ok by rule") << int(QMessageBox::Ok | QMessageBox::Yes) << 0 << false << int(QMessageBox::Ok);
        QTest::newRow("nothing fits") << int(QMessageBox::Yes | QMessageBox::Apply) << 0 << false << 0;
        QTest::newRow("window close") << yesNo << 0 << true << int(QMessageBox::No);
    }

    void messageBoxEscapeAndClose()
    {
        QFETCH(int, buttons);
        QFETCH(int, escape);
        QFETCH(bool, byClose);
        QFETCH(int, expected);
        ModalDriver driver;
        if (byClose)
            driver.expect([](QWidget* box) { box->close(); });
        else
            driver.pressKey(Qt::Key_Escape);
        QCOMPARE(VxMessageBox::question(nullptr, QString(), QStringLiteral("Sure?"),
                                        QMessageBox::StandardButtons(buttons), QMessageBox::NoButton,
                                        QMessageBox::StandardButton(escape)),
                 expected);
        VERIFY_DRIVER(driver);
    }

    void messageBoxRelabelledButtonsAndDefault()
    {
        VxMessageBox box;
        box.setButtons(QMessageBox::Ok);
        QAbstractButton* ok = box.button(QMessageBox::Ok);
        QCOMPARE(box.addButton(QStringLiteral("Change path"), QMessageBox::Ok), ok);
        QAbstractButton* cancel = box.addButton(QStringLiteral("Continue"), QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Cancel), cancel);
        QVERIFY(!box.addButton(QStringLiteral("none"), QMessageBox::NoButton));
        box.setDefaultButton(QMessageBox::Ok);
        ModalDriver driver;
        bool okIsDefault = false;
        driver.expect([&](QWidget* modal) {
            auto* shown = qobject_cast<VxMessageBox*>(modal);
            okIsDefault = qobject_cast<QPushButton*>(shown->button(QMessageBox::Ok))->isDefault();
        });
        driver.pressKey(Qt::Key_Return);
        QCOMPARE(box.exec(), int(QMessageBox::Ok));
        QVERIFY(okIsDefault);
        // The same box runs again; this time the relabelled Cancel answers.
        driver.clickButton(QMessageBox::Cancel);
        QCOMPARE(box.exec(), int(QMessageBox::Cancel));
        VERIFY_DRIVER(driver);
        QCOMPARE(ok->text(), QStringLiteral("Change path"));
    }

    void messageBoxParentDeletedWhileOpen()
    {
        auto* parent = new QWidget;
        parent->show();
        ModalDriver driver;
        driver.expect([parent](QWidget*) { delete parent; });
        QCOMPARE(VxMessageBox::warning(parent, QString(), QStringLiteral("bye")), 0);
        VERIFY_DRIVER(driver);
        QCOMPARE(VxDialogBase::getPopupDialogCount(), 0);
    }

    void execListFollowsNestedDialogs()
    {
        ProbeDialog outer;
        ProbeDialog inner;
        QList<QDialog*> seenOuter, seenInner, seenAfterInner;
        int innerResult = -1;
        ModalDriver driver;
        driver.expect([&](QWidget*) {
            seenOuter = VxDialogBase::getAllExecDialogs();
            innerResult = inner.exec();
            seenAfterInner = VxDialogBase::getAllExecDialogs();
            outer.accept();
        });
        driver.expect([&](QWidget* modal) {
            seenInner = VxDialogBase::getAllExecDialogs();
            QCOMPARE(VxDialogBase::getPopupDialogCount(), 2);
            qobject_cast<QDialog*>(modal)->reject();
        });
        QCOMPARE(VxDialogBase::getPopupDialogCount(), 0);
        QCOMPARE(outer.exec(), int(QDialog::Accepted));
        VERIFY_DRIVER(driver);
        QCOMPARE(innerResult, int(QDialog::Rejected));
        QCOMPARE(seenOuter, QList<QDialog*>{&outer});
        QCOMPARE(seenInner, (QList<QDialog*>{&outer, &inner}));
        QCOMPARE(seenAfterInner, QList<QDialog*>{&outer});
        QCOMPARE(VxDialogBase::getPopupDialogCount(), 0);
    }

    void execListDropsDialogDeletedWhileRunning()
    {
        auto* outer = new ProbeDialog;
        ProbeDialog inner;
        int countInInner = -1;
        ModalDriver driver;
        driver.expect([&](QWidget*) { inner.exec(); });
        driver.expect([&](QWidget*) {
            delete outer; // deleted while its exec() is still on the stack
            countInInner = VxDialogBase::getPopupDialogCount();
            inner.reject();
        });
        QPointer<ProbeDialog> guard(outer);
        QCOMPARE(outer->exec(), int(QDialog::Rejected));
        QVERIFY(!guard);
        VERIFY_DRIVER(driver);
        QCOMPARE(countInInner, 1);
        QCOMPARE(VxDialogBase::getPopupDialogCount(), 0);
        QVERIFY(VxDialogBase::getAllExecDialogs().isEmpty());
    }

    void windowFlagsWithOnlyHintsKeepWindows()
    {
        const auto hints = Qt::WindowFlags(0x08004000); // minimise and close buttons
        QWidget parent;
        ProbeDialog dialog(&parent);
        dialog.setWindowFlags(hints);
        QCOMPARE(dialog.windowType(), Qt::Dialog);
        VxWidgetBase topLevel;
        topLevel.setWindowFlags(hints);
        QVERIFY(topLevel.isWindow());
        VxWidgetBase child(&parent);
        child.setWindowFlags(Qt::FramelessWindowHint);
        QVERIFY(!child.isWindow());
        ProbeFrame frame;
        frame.setWindowFlags(hints | Qt::WindowStaysOnTopHint);
        QVERIFY(frame.isWindow());
    }

    void framePositionMemory()
    {
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        {
            ProbeFrame frame;
            frame.setObjectName(QStringLiteral("PosFrame"));
            frame.move(screen.topLeft() + QPoint(40, 50));
            frame.saveWindowPos();
        }
        VxSettings::release();
        ProbeFrame frame;
        frame.setObjectName(QStringLiteral("PosFrame"));
        frame.loadDefaultWindowPos(0, 0, true);
        QCOMPARE(frame.pos(), screen.topLeft() + QPoint(40, 50));
        // A position on no screen is not used: the given one, or centred.
        VxSettings::instance()->setApplicationParam(QStringLiteral("Window/PosFrame/pos"), QPoint(-30000, -30000));
        frame.resize(200, 100);
        frame.loadDefaultWindowPos(7, 9, false);
        QCOMPARE(frame.pos(), QPoint(7, 9));
        frame.loadDefaultWindowPos(7, 9, true);
        const QRect placed(frame.pos(), frame.size().expandedTo(frame.sizeHint()));
        QVERIFY(qAbs(placed.center().x() - screen.center().x()) <= 1);
        QVERIFY(qAbs(placed.center().y() - screen.center().y()) <= 1);
    }

    void frameAboutUpdateAndMenus()
    {
        ModalDriver driver;
        driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
        driver.clickButton(QMessageBox::Ok, QStringLiteral("VxMessageBox"));
        ProbeFrame frame;
        frame.showAboutDialog();
        frame.showUpdateDialog(nullptr);
        // A derived frame that refuses shows nothing.
        ProbeFrame refusing(true);
        refusing.showAboutDialog();
        refusing.showUpdateDialog(nullptr);
        QVERIFY(driver.waitFinished());
        VERIFY_DRIVER(driver);
        QCOMPARE(driver.seen().size(), 2);
        QVERIFY(driver.seen().at(0).text.contains(VxProductInfo::instance()->productVersion()));

        // Actions with a menu role move into the application menu when it opens.
        QMenuBar bar;
        frame.appendStandardMenus(&bar);
        auto* menu = bar.findChild<QMenu*>(QStringLiteral("vxApplicationMenu"));
        auto* preferences = new QAction(QStringLiteral("Preferences"), &frame);
        preferences->setObjectName(QStringLiteral("prefs"));
        preferences->setMenuRole(QAction::PreferencesRole);
        frame.actionHolder()->addAction(preferences);
        emit menu->aboutToShow();
        emit menu->aboutToShow();
        QStringList names;
        for (QAction* action : menu->actions())
            names << (action->isSeparator() ? QStringLiteral("-") : action->objectName());
        QCOMPARE(names, (QStringList{QStringLiteral("prefs"), QStringLiteral("-"), QStringLiteral("vxActionAbout"),
                                     QStringLiteral("-"), QStringLiteral("vxActionQuit")}));
    }
};

QTEST_MAIN(TstFrameworkDialogs)
#include "tst_framework_dialogs.moc"
