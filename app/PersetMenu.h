#pragma once

#include <QList>
#include <QPointer>
#include <QString>
#include <QWidgetAction>

#include "app/FfMenu.h"

class QAbstractButton;
class QFrame;
class QLabel;
class QRadioButton;

// The recorder presets as a drop-down: one process-wide widget action. Its
// frame starts with the header "Default", then one button per recorder
// (video, audio, window, webcam, in that order). A button's
// 1-based position is its preset number (the RecordWhat values); presets
// added later follow from 5. GUI thread only.
//
// There is one frame and one set of buttons, so lookups and the signals the
// callers connect stay the same whichever menu shows them. Each menu that
// holds the action gets a small host widget of its own; the frame moves
// into the host that is being shown, and a host that goes away hands the
// frame back instead of taking it down with it.
class PersetMenu : public QWidgetAction
{
    Q_OBJECT
public:
    static PersetMenu* instance();
    static void release();

    // The frame, for connecting buttonClicked and manageClicked.
    FfMenu* getPersetMenu() const;
    // 1-based position of the first button showing `name`; 0 when none.
    int getChooseWhat(const QString& name) const;
    QAbstractButton* getButtonByName(const QString& name) const;
    void clearCheckButton();
    // A further preset, shown elided to the frame's width.
    void addPreserMenuAction(QString& name);
    // Texts in the current language; lookups by the new texts work after it.
    void changeLanguage();

protected:
    QWidget* createWidget(QWidget* parent) override;
    void deleteWidget(QWidget* widget) override;

private:
    PersetMenu();
    ~PersetMenu() override;

    static PersetMenu* m_pInstance;

    QPointer<FfMenu> m_pMenu;
    QFrame* m_pGroupFrame = nullptr;
    QLabel* m_pGroupName = nullptr;
    QFrame* m_pGroupLine = nullptr;
    QRadioButton* m_pBtnVideo = nullptr;
    QRadioButton* m_pBtnAudio = nullptr;
    QRadioButton* m_pBtnWindow = nullptr;
    QRadioButton* m_pBtnWebcam = nullptr;
    QList<QAbstractButton*> m_lstButtons;
};
