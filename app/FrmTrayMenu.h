#pragma once

#include <QFrame>

namespace Ui {
class FrmTrayMenu;
}

// The panel inside the status-bar item's menu: a start face at rest and a
// recording face with the running figures. It keeps no state beyond its
// widgets; the status-bar item picks the face each time the menu opens.
class FrmTrayMenu : public QFrame
{
    Q_OBJECT
public:
    explicit FrmTrayMenu(QWidget* parent = nullptr);
    ~FrmTrayMenu() override;

    void initNormal();
    void initRecording();
    void initPasuing(bool paused);
    void setRecordInfo(const QString& duration, const QString& size);
    void setRecEnable(bool enable);
    void setStopEnable(bool enable);
    void setSnapshotEnabled(bool enable);
    void setHomeEnable(bool enable);
    void setOtherEnable(bool enable);

signals:
    void sigSnap();
    void sigStartOrStop();
    void sigPauseOrResume();
    void sigSetting();
    void sigHome();

private:
    Ui::FrmTrayMenu* ui = nullptr;
};
