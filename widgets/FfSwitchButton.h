#pragma once

#include <QColor>
#include <QFrame>
#include <QIcon>
#include <QPixmap>
#include <QStringList>

class QPropertyAnimation;
namespace Ui {
class FfSwitchButton;
}

// A two-state switch drawn by hand, with an animated knob. Its colours are
// properties so that skins can set them from the style sheet.
class FfSwitchButton : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString onType READ onType WRITE setOnType)
    Q_PROPERTY(QString offType READ offType WRITE setOffType)
    Q_PROPERTY(QColor panColor READ panColor WRITE setPanColor)
    Q_PROPERTY(QColor panColorOff READ panColorOff WRITE setPanColorOff)
    Q_PROPERTY(QColor disablePanColor READ disablePanColor WRITE setDisablePanColor)
public:
    explicit FfSwitchButton(QWidget* parent = nullptr);
    ~FfSwitchButton() override;

    // Slides to `on` and emits clicked(on). A slide still running is cut
    // short: the switch always ends in the state it announces.
    void setBtnChecked(bool on);
    // Slides to OFF without a signal.
    void setBtnOnlyOff();
    bool isChecked() const { return m_bChecked; }

    void onSkinChange();
    void setIcon(const QStringList& files, QIcon::State state);

    QString onType() const { return m_strOnType; }
    void setOnType(const QString& path);
    QString offType() const { return m_strOffType; }
    void setOffType(const QString& path);
    QColor panColor() const { return m_clrPan; }
    void setPanColor(const QColor& color);
    QColor panColorOff() const { return m_clrPanOff; }
    void setPanColorOff(const QColor& color);
    QColor disablePanColor() const { return m_clrDisablePan; }
    void setDisablePanColor(const QColor& color);

    // Where the knob rests at either end.
    QPoint knobLeftPos() const;
    QPoint knobRightPos() const;
    bool isSliding() const;

signals:
    void clicked(bool checked);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private slots:
    void onKnobClicked();

private:
    // Starts the slide to the other end and inverts the state; false (and
    // nothing changed) while a slide runs.
    bool toggle();
    void loadTracks();
    QPixmap loadTrack(const QString& path) const;
    // Puts the knob at the end its state asks for, unless it is sliding;
    // the form's layout places it in the middle whenever it lays out.
    void placeKnob();

    Ui::FfSwitchButton* ui = nullptr;
    bool m_bChecked = false;
    QPropertyAnimation* m_pAnimation = nullptr;
    QString m_strOnType;
    QString m_strOffType;
    QColor m_clrPan;
    QColor m_clrPanOff;
    QColor m_clrDisablePan;
    QPixmap m_pixOn;
    QPixmap m_pixOff;
    QIcon m_icon;
};
