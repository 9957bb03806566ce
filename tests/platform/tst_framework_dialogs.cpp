// Message box, dialog base (exec list, window flags) and frame base.
#include <QApplication>
#include <QFrame>
#include <QtTest>
#include <QScreen>
#include <QVBoxLayout>

#include "tests/support/ModalDriver.h"
#include "platform/framework/VxDialogBase.h"
#include "platform/framework/VxMainWindowBase.h"
#include "platform/framework/VxMessageBox.h"
#include "platform/framework/VxSettings.h"

namespace {


using ProbeDialog = VxDialogBase;

// A frame built the way derived frames build theirs: the form installs its
// own vertical layout holding the client frame before the base adds the title.
class ProbeFrame : public VxMainWindowBase
{
public:
    ProbeFrame()
    {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        client = new QFrame(this);
        client->setObjectName(QStringLiteral("vxMainWindowClient"));
        layout->addWidget(client);
    }
    QFrame* client = nullptr;
};

} // namespace

class TstFrameworkDialogs : public QObject
{
    Q_OBJECT

private slots:
    void messageBoxEscapeAndClose_data()
    {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("escape");
        QTest::addColumn<bool>("byClose");
        QTest::addColumn<int>("expected");
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        QTest::newRow("escape button not shown") << yesNo << int(QMessageBox::Cancel) << false
                                                 << int(QMessageBox::Cancel);
        QTest::newRow("no by rule") << yesNo << 0 << false << int(QMessageBox::No);
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
        QList<QDialog*> seenOuter, seenInner;
        ModalDriver driver;
        driver.expect([&](QWidget*) {
            seenOuter = VxDialogBase::getAllExecDialogs();
            inner.exec();
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
        QCOMPARE(seenOuter, QList<QDialog*>{&outer});
        QCOMPARE(seenInner, (QList<QDialog*>{&outer, &inner}));
        QCOMPARE(VxDialogBase::getPopupDialogCount(), 0);
    }

    // A modal dialog that runs a loop of its own (file dialogs, forms shown
    // modally) counts as open too, after the ones it was opened over.
    void execListHoldsModalDialogsWithTheirOwnLoop()
    {
        ProbeDialog outer;
        QDialog own;
        own.setModal(true);
        QList<QDialog*> seen;
        ModalDriver driver;
        driver.expect([&](QWidget*) {
            own.show();
            seen = VxDialogBase::getAllExecDialogs();
            own.hide();
            outer.reject();
        });
        outer.exec();
        VERIFY_DRIVER(driver);
        QCOMPARE(seen, (QList<QDialog*>{&outer, &own}));
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

    // Opened without a loop: modal to the whole program and counted among
    // the open dialogs; the caller's road goes on once, after the dialog is
    // deleted, and not at all when its context went first.
    void openThenRunsOnceTheDialogIsGone_data()
    {
        QTest::addColumn<bool>("contextGoes");
        QTest::addColumn<bool>("finishedTwice");
        QTest::addColumn<bool>("parentGoes");
        QTest::newRow("finished") << false << false << false;
        QTest::newRow("finished twice") << false << true << false;
        QTest::newRow("context gone first") << true << false << false;
        QTest::newRow("parent gone, unfinished") << false << false << true;
    }

    void openThenRunsOnceTheDialogIsGone()
    {
        QFETCH(bool, contextGoes);
        QFETCH(bool, finishedTwice);
        QFETCH(bool, parentGoes);
        auto* context = new QObject;
        auto* parent = new QWidget;
        QPointer<ProbeDialog> dialog = new ProbeDialog(parent);
        QList<int> results;
        bool goneFirst = false;
        dialog->openThen(context, [&](int result) {
            results << result;
            goneFirst = !dialog;
        });
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->windowModality(), Qt::ApplicationModal);
        QCOMPARE(QApplication::activeModalWidget(), dialog.data());
        QCOMPARE(VxDialogBase::getAllExecDialogs(), QList<QDialog*>{dialog.data()});
        QVERIFY(results.isEmpty());

        if (contextGoes)
            delete context;
        if (parentGoes) {
            delete parent;
            parent = nullptr;
        } else {
            dialog->done(7);
        }
        if (finishedTwice)
            dialog->done(8);
        QVERIFY(results.isEmpty());   // not from inside the dialog's own done()
        QTRY_VERIFY_WITH_TIMEOUT(!dialog, 5000);
        QCoreApplication::processEvents();
        const int result = parentGoes ? int(QDialog::Rejected) : 7;
        QCOMPARE(results, contextGoes ? QList<int>() : QList<int>{result});
        QVERIFY(contextGoes || goneFirst);
        if (!contextGoes)
            delete context;
        delete parent;
    }

    // Boxes that tell without a loop answer as exec() would: Escape gives
    // the escape value.
    void boxWithoutLoopAnswersAsExec_data()
    {
        QTest::addColumn<bool>("twoButtons");
        QTest::addColumn<int>("expected");
        QTest::newRow("Ok alone") << false << int(QMessageBox::Ok);
        QTest::newRow("Ok and Cancel") << true << int(QMessageBox::Cancel);
    }

    void boxWithoutLoopAnswersAsExec()
    {
        QFETCH(bool, twoButtons);
        QFETCH(int, expected);
        QObject context;
        int answer = -1;
        const auto then = [&answer](int result) { answer = result; };
        VxMessageBox* box = twoButtons ? VxMessageBox::openBox(1, nullptr, QString(), QStringLiteral("Go?"),
                                                               QMessageBox::Ok | QMessageBox::Cancel,
                                                               QMessageBox::Ok, QMessageBox::NoButton, &context, then)
                                       : VxMessageBox::tell(2, nullptr, QString(), QStringLiteral("Done."), &context, then);
        QCOMPARE(QApplication::activeModalWidget(), box);
        QCOMPARE(box->button(QMessageBox::Cancel) != nullptr, twoButtons);
        QTest::keyClick(box, Qt::Key_Escape);
        QTRY_COMPARE_WITH_TIMEOUT(answer, expected, 5000);
        QVERIFY(!QApplication::activeModalWidget());
    }

    void windowFlagsWithOnlyHintsKeepWindows()
    {
        const auto hints = Qt::WindowFlags(0x08004000); // minimise and close buttons
        QWidget parent;
        ProbeDialog dialog(&parent);
        dialog.setWindowFlags(hints);
        QCOMPARE(dialog.windowType(), Qt::Dialog);
        // Whatever is asked, a dialog's title bar closes it and never maximises it.
        for (const Qt::WindowFlags asked : {Qt::WindowFlags(Qt::Window), hints | Qt::WindowMaximizeButtonHint}) {
            ProbeDialog box(nullptr, asked);
            QCOMPARE(box.windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
                     Qt::WindowFlags(Qt::WindowCloseButtonHint));
        }
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
        // A position on no screen is not used.
        VxSettings::instance()->setApplicationParam(QStringLiteral("Window/PosFrame/pos"), QPoint(-30000, -30000));
        frame.loadDefaultWindowPos(7, 9, false);
        QCOMPARE(frame.pos(), QPoint(7, 9));
    }
};

QTEST_MAIN(TstFrameworkDialogs)
#include "tst_framework_dialogs.moc"
