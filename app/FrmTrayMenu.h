#pragma once

#include <QFrame>

namespace Ui {
class FrmTrayMenu;
}

// What the tray menu shows above its actions: one face to start from when
// idle, another with the running time and size while recording. The tray
// item chooses the face whenever the menu opens; the panel itself remembers
// nothing but its widgets.
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
