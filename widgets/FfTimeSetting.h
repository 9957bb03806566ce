#pragma once

#include <QColor>
#include <QWidget>

namespace Ui {
class FfTimeSetting;
}
class VxComboboxViewItemDelegate;

// The record-length panel of the tool strip's drop-down: edits the four
// timer settings. It keeps nothing itself: every showing loads them and
// closing the menu stores them.
class FfTimeSetting : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QColor ColorHover READ colorHover WRITE setColorHover)
    Q_PROPERTY(QColor ColorNormal READ colorNormal WRITE setColorNormal)
    Q_PROPERTY(QColor ColorBacHover READ colorBacHover WRITE setColorBacHover)
    Q_PROPERTY(QColor ColorBacNormal READ colorBacNormal WRITE setColorBacNormal)
public:
    explicit FfTimeSetting(QWidget* parent = nullptr);
    ~FfTimeSetting() override;

    void updateComboBox();
    void changeLang();

    QColor colorHover() const { return m_colorHover; }
    void setColorHover(const QColor& color) { m_colorHover = color; }
    QColor colorNormal() const { return m_colorNormal; }
    void setColorNormal(const QColor& color) { m_colorNormal = color; }
    QColor colorBacHover() const { return m_colorBacHover; }
    void setColorBacHover(const QColor& color) { m_colorBacHover = color; }
    QColor colorBacNormal() const { return m_colorBacNormal; }
    void setColorBacNormal(const QColor& color) { m_colorBacNormal = color; }

signals:
    void statusChanged(bool b);

public slots:
    void enableTimeDuration(bool on);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Whether this hide is the menu closing over a form that still shows
    // what was loaded, rather than a teardown or a retranslated form.
    bool hideClosesMenu() const;

    Ui::FfTimeSetting* ui;
    VxComboboxViewItemDelegate* m_pDelegate = nullptr;
    QColor m_colorHover;
    QColor m_colorNormal;
    QColor m_colorBacHover;
    QColor m_colorBacNormal;
    // The class of the window the panel was last shown in: a window being
    // torn down has already lost it when it hides its children.
    const QMetaObject* m_pShownIn = nullptr;
    bool m_bLoaded = false;      // the controls hold what the last show loaded
    bool m_bDestroying = false;
};
