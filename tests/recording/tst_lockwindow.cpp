// The window picker over the engine double: each mode's list, the preview,
// a window gone meanwhile, and the choice OK stores.
#include <QCheckBox>
#include <QtTest>
#include <QListWidget>
#include <QStackedWidget>
#include <QToolButton>

#include <memory>

#include "core/RecordParameter.h"
#include "core/WindowListManger.h"
#include "platform/framework/VxSettings.h"
#include "recording/DlgLockWindow.h"
#include "tests/support/FakeScreencast.h"

namespace {

const int kLong = 20000;
const QString kLongTitle = QString("Quarterly report ").repeated(12);

QVector<FakeScreencast::Window> twoWindows()
{
    return {{11, "Editor", "editor", CRect{0, 0, 400, 300}, true, 400, 300},
            {22, "", "Painter", CRect{50, 50, 450, 350}, true, 400, 300},
            {33, kLongTitle, "viewer", CRect{90, 90, 490, 390}, true, 400, 300}};
}

QString lastShow()
{
    const QStringList shows = FakeScreencast::callsOf("CWindowCompositedImageObject::show");
    return shows.isEmpty() ? QString() : shows.last();
}

} // namespace

class TstLockWindow : public QObject
{
    Q_OBJECT

    std::unique_ptr<DlgLockWindow> m_dlg;

    QListWidget* list() { return m_dlg->findChild<QListWidget*>("listWdgWindow"); }
    QToolButton* button(const char* name) { return m_dlg->findChild<QToolButton*>(name); }
    QCheckBox* box(int row) { return qobject_cast<QCheckBox*>(list()->itemWidget(list()->item(row))); }
    QString page() { return m_dlg->findChild<QStackedWidget*>("stackedWidget")->currentWidget()->objectName(); }

    void open(int mode)
    {
        RecordParameter::instance()->setWindowModle(mode);
        m_dlg.reset(new DlgLockWindow(nullptr));
        m_dlg->show();
        m_dlg->initModeSelected();
    }

    void resetWorld()
    {
        m_dlg.reset();
        WindowListManger::release();
        RecordParameter::release();
        const QString settingsFile = VxSettings::instance()->fileName();
        VxSettings::release();
        QFile::remove(settingsFile);
        FakeScreencast::reset();
        FakeScreencast::setWindows(twoWindows());
    }

private slots:
    void init() { resetWorld(); }
    void cleanup()
    {
        resetWorld();
        QCOMPARE(FakeScreencast::liveObjectCount(), 0);
    }

    // Single window: untitled ones under the owner's name, long titles elided with a tip; the
    // selected row is previewed alone and stored by OK; OK without a selection stores [0].
    void singleWindow()
    {
        open(WindowModle_Single);
        QCOMPARE(FakeScreencast::callsOf("scFindWindow").last(), QString("scFindWindow(8)"));
        QSignalSpy region(m_dlg.get(), &DlgLockWindow::showRegionBox);
        m_dlg->initModeSelected();
        QCOMPARE(region.takeFirst().first().toBool(), false);
        QCOMPARE(list()->count(), 3);
        QCOMPARE(list()->item(1)->text(), QString("Painter"));
        QVERIFY(list()->item(2)->text().contains(QChar(0x2026)));
        QCOMPARE(list()->item(2)->toolTip(), kLongTitle);
        QCOMPARE(page(), QString("pageTip"));

        list()->setCurrentRow(1);
        QCOMPARE(lastShow(), QString("CWindowCompositedImageObject::show(1, [22], 1)"));
        QCOMPARE(page(), QString("pageView"));
        QCOMPARE(m_dlg->getWindowName(), QString("Painter"));
        button("btnRecord")->click();
        RecordParameter* rp = RecordParameter::instance();
        QVERIFY(rp->isWindowRecord());
        QCOMPARE(rp->getWindowModle(), int(WindowModle_Single));
        QCOMPARE(rp->getWindowList(), QList<int>{22});
        QCOMPARE(m_dlg->result(), int(QDialog::Accepted));

        open(WindowModle_Single);
        button("btnRecord")->click();
        QCOMPARE(rp->getWindowList(), QList<int>{0});
    }

    // Several windows: nothing chosen is a null array; checked rows are previewed and stored in
    // list order; a mode change clears them, clicking the active mode changes nothing.
    void checkedWindows()
    {
        open(WindowModle_Multiple);
        QCOMPARE(FakeScreencast::callsOf("scFindWindow").last(), QString("scFindWindow(1)"));
        QCOMPARE(lastShow(), QString("CWindowCompositedImageObject::show(3, null, 0)"));
        QCOMPARE(page(), QString("pageTip"));
        QVERIFY(box(0) && box(2));
        box(2)->setChecked(true);
        box(0)->setChecked(true);
        QCOMPARE(lastShow(), QString("CWindowCompositedImageObject::show(3, [11,33], 2)"));
        QCOMPARE(page(), QString("pageView"));
        QCOMPARE(box(2)->toolTip(), kLongTitle);

        FakeScreencast::clearCalls();
        button("btnInclude")->click();
        QVERIFY(button("btnInclude")->isChecked());
        QCOMPARE(FakeScreencast::callCount("scFindWindow"), 0);

        button("btnFrash")->click();   // refresh keeps what still exists
        QVERIFY(box(0)->isChecked() && !box(1)->isChecked() && box(2)->isChecked());

        QSignalSpy region(m_dlg.get(), &DlgLockWindow::showRegionBox);
        button("btnExclude")->click();
        QCOMPARE(region.takeFirst().first().toBool(), true);
        QVERIFY(button("btnExclude")->isChecked() && !button("btnInclude")->isChecked());
        QCOMPARE(lastShow(), QString("CWindowCompositedImageObject::show(2, null, 0)"));
        QCOMPARE(page(), QString("pageView"));
        box(1)->setChecked(true);
        button("btnRecord")->click();
        QCOMPARE(RecordParameter::instance()->getWindowModle(), int(WindowModle_Exclude));
        QCOMPARE(RecordParameter::instance()->getWindowList(), QList<int>{22});
    }

    // A chosen window that closes meanwhile leaves the list and the checked choice at the next
    // check (a single window's id stays, for the start's own check to refuse).
    void closedWindowDropped_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("single") << int(WindowModle_Single);
        QTest::newRow("include") << int(WindowModle_Multiple);
    }

    void closedWindowDropped()
    {
        QFETCH(int, mode);
        open(mode);
        if (mode == WindowModle_Single)
            list()->setCurrentRow(0);
        else
            box(0)->setChecked(true);
        QVector<FakeScreencast::Window> rest = twoWindows();
        rest.removeFirst();
        FakeScreencast::setWindows(rest);
        QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, kLong);
        QCOMPARE(list()->item(0)->data(Qt::UserRole).toInt(), 22);
        QVERIFY(!list()->currentItem());
        if (mode == WindowModle_Multiple) {
            button("btnRecord")->click();
            QCOMPARE(RecordParameter::instance()->getWindowList(), QList<int>());
        }
    }
};

QTEST_MAIN(TstLockWindow)
#include "tst_lockwindow.moc"
