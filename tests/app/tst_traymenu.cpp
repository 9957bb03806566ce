// The status-bar panel on its own: its two faces.
#include <QLabel>
#include <QStackedWidget>
#include <QTest>
#include <QToolButton>

#include "app/FrmTrayMenu.h"

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

};

QTEST_MAIN(TestTrayMenu)
#include "tst_traymenu.moc"
