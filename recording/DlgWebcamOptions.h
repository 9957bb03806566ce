#pragma once

#include <QPointer>
#include <QSize>

#include "platform/framework/VxDialogBase.h"

namespace Ui {
class DlgWebcamOptions;
}

// The webcam overlay's options: which camera, its resolution and the corner
// the overlay starts in, with a live view of the chosen camera and a photo
// button. The corner is stored as a corner index under its own key, never
// under the key where the webcam window keeps its last position.
class DlgWebcamOptions : public VxDialogBase
{
    Q_OBJECT
public:
    explicit DlgWebcamOptions(QWidget* parent = nullptr);
    // Closes the camera the view shows, so the engine never draws into a
    // window that is gone, and gives the webcam window back the camera it
    // showed before (the chosen one).
    ~DlgWebcamOptions() override;

    // Fills the camera and corner lists from the stored choices; a stored
    // camera index beyond the cameras there are is reset to 0.
    void initCamera();

public slots:
    // Closes whatever camera is open and opens the chosen one into the view;
    // the resolution list follows the camera. A camera that is recording is
    // left alone.
    void onChangeDevice();
    // The view's camera in the mode of the chosen row.
    void onChangeResolution(int row);
    // A photo of the view's camera into the screenshots folder and the
    // history; a name already taken gets the next free "(n)".
    void onSnapshot();
    void accept() override;
    void reject() override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool isChanged() const;
    QSize chosenMode() const;
    void fillResolutions();
    void showCameraState(bool running);
    void showFlyOut(const QString& path);
    QString nextSnapshotPath() const;

    Ui::DlgWebcamOptions* ui = nullptr;
    bool m_bViewOpen = false; // this dialog's view holds the open camera
    // The webcam window whose camera the view borrowed, and its kind.
    QPointer<QWidget> m_pLender;
    bool m_bLenderOnlyCamera = false;
    QSize m_storedMode;        // the mode stored when the dialog opened
};
