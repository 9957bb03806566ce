#pragma once

#include <QFrame>
#include <QString>

class QLabel;
class QMovie;

// The record button: the picture is round, so hover and clicks count only
// inside the circle, and the animation plays only while hovered there.
class FfButtonGifBg : public QFrame
{
    Q_OBJECT
    Q_PROPERTY(QString gifBg READ gifBg WRITE setGifBg)
    Q_PROPERTY(QString normalIcon READ normalIcon WRITE setNormalIcon)
    Q_PROPERTY(int radius READ radius WRITE setRadius)
public:
    explicit FfButtonGifBg(QWidget* parent = nullptr);
    ~FfButtonGifBg() override;

    QString gifBg() const { return m_strGifBg; }
    void setGifBg(const QString& path);
    QString normalIcon() const { return m_strNormalIcon; }
    void setNormalIcon(const QString& path);
    // 0: half the smaller side of the picture, worked out on first use.
    int radius() const { return m_nRadius; }
    void setRadius(int radius) { m_nRadius = radius; }

    bool isPlaying() const { return m_bPlaying; }
    QLabel* pictureLabel() const { return m_pLabel; }

signals:
    void clicked();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void placeLabel();
    void play();
    void showStill();

    QString m_strGifBg;
    QLabel* m_pLabel = nullptr;
    QMovie* m_pMovie = nullptr; // no parent: deleted by the destructor
    QString m_strNormalIcon;
    bool m_bPlaying = false;
    int m_nRadius = 0;
};
