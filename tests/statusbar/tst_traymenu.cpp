// The status-bar panel on its own: its form, its two faces and its signals.
#include <QLabel>
#include <QLayout>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include <vector>

#include "FfButtonGifBg.h"
#include "FrmTrayMenu.h"
#include "WidgetTestHelpers.h"

class TestTrayMenu : public QObject
{
    Q_OBJECT

private:
    template <class T>
    static T* child(FrmTrayMenu& panel, const char* name)
    {
        T* w = panel.findChild<T*>(QString::fromLatin1(name));
        if (!w)
            qWarning("missing %s", name);
        return w;
    }

private slots:
    void formTree()
    {
        FrmTrayMenu panel;
        QCOMPARE(panel.objectName(), QString("FrmTrayMenu"));
        QCOMPARE(panel.size(), QSize(300, 241));
        const std::vector<testsupport::WidgetNode> nodes = {
            {"stackedWidget", "FrmTrayMenu", "QStackedWidget"},
            {"pageNormal", "stackedWidget", "QWidget"},
            {"pageRecording", "stackedWidget", "QWidget"},
            {"frame", "pageNormal", "QFrame"},
            {"recGif", "frame", "FfButtonGifBg"},
            {"label", "pageNormal", "QLabel"},
            {"lblStatus", "pageRecording", "QLabel"},
            {"lblDuration", "pageRecording", "QLabel"},
            {"lblSize", "pageRecording", "QLabel"},
            {"frame_2", "pageRecording", "QFrame"},
            {"btnResume", "frame_2", "QToolButton"},
            {"btnPause", "frame_2", "QToolButton"},
            {"btnStop", "frame_2", "QToolButton"},
            {"stackedWidget_2", "FrmTrayMenu", "QStackedWidget"},
            {"pageHome", "stackedWidget_2", "QWidget"},
            {"pageRec", "stackedWidget_2", "QWidget"},
            {"frame_6", "pageHome", "QFrame"},
            {"btnSnapshot", "frame_6", "QToolButton"},
            {"frmOther", "pageHome", "QFrame"},
            {"btnHome", "frmOther", "QToolButton"},
            {"btnSetting", "frmOther", "QToolButton"},
            {"frame_3", "pageRec", "QFrame"},
            {"btnSnapshot_2", "frame_3", "QToolButton"},
        };
        testsupport::verifyWidgetTree(panel, nodes);
        if (QTest::currentTestFailed())
            return;
        QCOMPARE(panel.layout()->objectName(), QString("verticalLayout_4"));
        auto* stack = child<QStackedWidget>(panel, "stackedWidget");
        QCOMPARE(stack->minimumHeight(), 100);
        QCOMPARE(stack->currentWidget()->objectName(), QString("pageNormal"));
        auto* stack2 = child<QStackedWidget>(panel, "stackedWidget_2");
        QCOMPARE(stack2->minimumHeight(), 70);
        QCOMPARE(stack2->currentWidget()->objectName(), QString("pageHome"));
        QCOMPARE(child<QLabel>(panel, "label")->text(), QString("Start Recording"));
        QCOMPARE(child<QLabel>(panel, "lblDuration")->text(), QString("00:00:00"));
        QCOMPARE(child<QLabel>(panel, "lblSize")->text(), QString("12.94MB/100GB"));
        QCOMPARE(child<QToolButton>(panel, "btnSnapshot")->toolTip(), QString("Screen Capture"));
        QCOMPARE(child<QToolButton>(panel, "btnSnapshot")->toolButtonStyle(),
                 Qt::ToolButtonTextUnderIcon);
        QCOMPARE(child<QToolButton>(panel, "btnHome")->toolButtonStyle(),
                 Qt::ToolButtonTextBesideIcon);
        for (const char* name : {"btnResume", "btnPause", "btnStop", "btnSnapshot", "btnHome",
                                 "btnSetting", "btnSnapshot_2"})
            QVERIFY2(child<QToolButton>(panel, name)->text().isEmpty(), name);
    }

    void faces()
    {
        FrmTrayMenu panel;
        panel.setRecordInfo("00:00:07", "1.2 MB/9.8 GB");
        panel.initRecording();
        QCOMPARE(child<QStackedWidget>(panel, "stackedWidget")->currentWidget()->objectName(),
                 QString("pageRecording"));
        QCOMPARE(child<QStackedWidget>(panel, "stackedWidget_2")->currentWidget()->objectName(),
                 QString("pageRec"));
        QVERIFY(!child<QToolButton>(panel, "btnResume")->isVisibleTo(&panel));
        QVERIFY(child<QToolButton>(panel, "btnPause")->isVisibleTo(&panel));
        QCOMPARE(child<QLabel>(panel, "lblStatus")->text(), QString("Recording..."));
        QCOMPARE(child<QLabel>(panel, "lblDuration")->text(), QString("00:00:07"));

        panel.initPasuing(true);
        QVERIFY(child<QToolButton>(panel, "btnResume")->isVisibleTo(&panel));
        QVERIFY(!child<QToolButton>(panel, "btnPause")->isVisibleTo(&panel));
        QCOMPARE(child<QLabel>(panel, "lblStatus")->text(), QString("Paused"));

        panel.initNormal();
        QVERIFY(child<QLabel>(panel, "lblDuration")->text().isEmpty());
        QVERIFY(child<QLabel>(panel, "lblSize")->text().isEmpty());
        QVERIFY(child<QLabel>(panel, "lblStatus")->text().isEmpty());
        QCOMPARE(child<QStackedWidget>(panel, "stackedWidget")->currentWidget()->objectName(),
                 QString("pageNormal"));
        QCOMPARE(child<QStackedWidget>(panel, "stackedWidget_2")->currentWidget()->objectName(),
                 QString("pageHome"));
        QCOMPARE(child<QToolButton>(panel, "btnHome")->toolTip(), QString("Home"));
        QCOMPARE(child<QToolButton>(panel, "btnSetting")->toolTip(), QString("Setting"));
        QCOMPARE(child<QToolButton>(panel, "btnSnapshot_2")->toolTip(), QString("Screen Capture"));
    }

    void recordInfoVerbatim()
    {
        FrmTrayMenu panel;
        const QString size = QString::fromUtf8("12.5 MB/1.0 GB  ünïcode");
        panel.setRecordInfo("100:00:00", size);
        QCOMPARE(child<QLabel>(panel, "lblDuration")->text(), QString("100:00:00"));
        QCOMPARE(child<QLabel>(panel, "lblSize")->text(), size);
    }

    void enableSwitches()
    {
        FrmTrayMenu panel;
        panel.setRecEnable(false);
        QVERIFY(!child<FfButtonGifBg>(panel, "recGif")->isEnabled());
        QVERIFY(!child<QLabel>(panel, "label")->isEnabled());
        panel.setOtherEnable(false);
        QVERIFY(!child<QToolButton>(panel, "btnHome")->isEnabled());
        QVERIFY(!child<QToolButton>(panel, "btnSetting")->isEnabled());
        panel.setRecEnable(true);
        QVERIFY(child<FfButtonGifBg>(panel, "recGif")->isEnabled());
        QVERIFY(!child<QToolButton>(panel, "btnSetting")->isEnabled());
        panel.setOtherEnable(true);
        QVERIFY(child<QToolButton>(panel, "btnSetting")->isEnabled());
        panel.setHomeEnable(false);
        QVERIFY(!child<QToolButton>(panel, "btnHome")->isEnabled());
        QVERIFY(child<QToolButton>(panel, "btnSetting")->isEnabled());
        panel.setStopEnable(false);
        QVERIFY(!child<QToolButton>(panel, "btnStop")->isEnabled());
        panel.setSnapshotEnabled(false);
        QVERIFY(!child<QToolButton>(panel, "btnSnapshot_2")->isEnabled());
        QVERIFY(child<QToolButton>(panel, "btnSnapshot")->isEnabled());
    }

    void signalsOfTheButtons()
    {
        FrmTrayMenu panel;
        QSignalSpy snap(&panel, &FrmTrayMenu::sigSnap);
        QSignalSpy startStop(&panel, &FrmTrayMenu::sigStartOrStop);
        QSignalSpy pauseResume(&panel, &FrmTrayMenu::sigPauseOrResume);
        QSignalSpy setting(&panel, &FrmTrayMenu::sigSetting);
        QSignalSpy home(&panel, &FrmTrayMenu::sigHome);

        child<QToolButton>(panel, "btnSnapshot")->click();
        child<QToolButton>(panel, "btnSnapshot_2")->click();
        QCOMPARE(snap.count(), 2);

        child<QToolButton>(panel, "btnStop")->click();
        auto* gif = child<FfButtonGifBg>(panel, "recGif");
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(3, 3), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(gif->pictureLabel(), &release);
        QCOMPARE(startStop.count(), 2);

        child<QToolButton>(panel, "btnPause")->click();
        child<QToolButton>(panel, "btnResume")->click();
        QCOMPARE(pauseResume.count(), 2);

        child<QToolButton>(panel, "btnSetting")->click();
        QCOMPARE(setting.count(), 1);
        child<QToolButton>(panel, "btnHome")->click();
        QCOMPARE(home.count(), 1);
        QCOMPARE(snap.count() + startStop.count() + pauseResume.count(), 6);
    }
};

QTEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
