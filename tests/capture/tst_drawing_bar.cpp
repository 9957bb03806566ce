// The drawing tool bar's signal sequences and values, and the pinned
// picture's size, close button and end.
#include <QComboBox>
#include <QSignalSpy>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

#include "capture/DlgPaintToScreen.h"
#include "capture/FfColor.h"

namespace {

QToolButton* button(FfColor& bar, const char* name)
{
    auto* b = bar.findChild<QToolButton*>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

// One line per signal, in order: "start 1", "stop false", "undo" ...
class Recorder : public QObject
{
public:
    explicit Recorder(FfColor& bar)
    {
        connect(&bar, &FfColor::startCanvs, this, [this](int tool) { lines << QStringLiteral("start %1").arg(tool); });
        connect(&bar, &FfColor::stopCanvs, this,
                [this](bool quit) { lines << (quit ? QStringLiteral("stop true") : QStringLiteral("stop false")); });
        connect(&bar, &FfColor::undo, this, [this] { lines << QStringLiteral("undo"); });
        connect(&bar, &FfColor::redo, this, [this] { lines << QStringLiteral("redo"); });
        connect(&bar, &FfColor::clear, this, [this] { lines << QStringLiteral("clear"); });
    }
    QStringList take()
    {
        QStringList out;
        out.swap(lines);
        return out;
    }
    QStringList lines;
};

} // namespace

class TstDrawingBar : public QObject
{
    Q_OBJECT
private slots:
    void toolChoicesAndChanges();
    void textAndNumberOptions();
    void blurCanBeHidden();
    void pinnedPictureSize();
    void pinnedPictureCloseButton();
};

void TstDrawingBar::toolChoicesAndChanges()
{
    FfColor bar;
    bar.show();
    Recorder rec(bar);

    // Without a tool a change restarts nothing.
    button(bar, "btnSizeLarge")->click();
    button(bar, "btnPalette3")->click();
    QCOMPARE(rec.take(), QStringList());

    button(bar, "btnRectangle")->click();
    QVERIFY(button(bar, "btnRectangle")->isChecked());
    button(bar, "btnSizeSmall")->click();
    button(bar, "btnSizeSmall")->click();   // no change, no signal
    button(bar, "btnPalette5")->click();
    button(bar, "btnArrow")->click();
    QVERIFY(!button(bar, "btnRectangle")->isChecked());
    button(bar, "btnArrow")->click();
    QVERIFY(!button(bar, "btnArrow")->isChecked());
    QCOMPARE(rec.take(), QStringList({"start 1", "start 1", "start 1", "start 4", "stop false"}));

    button(bar, "btnPen")->click();
    button(bar, "btnUndo")->click();
    button(bar, "btnRedo")->click();
    button(bar, "btnClear")->click();
    button(bar, "btnLeave")->click();
    QVERIFY(!button(bar, "btnPen")->isChecked());
    QCOMPARE(rec.take(), QStringList({"start 5", "undo", "redo", "clear", "stop true"}));
}

void TstDrawingBar::textAndNumberOptions()
{
    FfColor bar;
    bar.show();
    Recorder rec(bar);
    auto* font = bar.findChild<QComboBox*>("cmbFontSize");
    auto* number = bar.findChild<QSpinBox*>("spinNumber");
    QVERIFY(font && number);
    QVERIFY(!font->isVisible());
    QVERIFY(!number->isVisible());

    button(bar, "btnText")->click();
    QVERIFY(font->isVisible());
    font->setCurrentIndex(font->findData(24));
    QCOMPARE(bar.getFontSize(), 24);

    button(bar, "btnNumber")->click();
    QVERIFY(!font->isVisible());
    QVERIFY(number->isVisible());
    number->setValue(3);
    QCOMPARE(bar.numberNumber(), 2);
    QCOMPARE(rec.take(), QStringList({"start 8", "start 8", "start 7", "start 7"}));

    // The canvas placed a callout: the bar follows quietly.
    bar.setNumberNumber(4);
    QCOMPARE(bar.numberNumber(), 3);
    QCOMPARE(rec.take(), QStringList());
}

void TstDrawingBar::blurCanBeHidden()
{
    FfColor bar;
    bar.show();
    Recorder rec(bar);
    QVERIFY(button(bar, "btnBlur")->isVisible());
    button(bar, "btnBlur")->click();
    bar.setHasBlur(false);
    QVERIFY(!button(bar, "btnBlur")->isVisible());
    QCOMPARE(rec.take(), QStringList({"start 9", "stop false"}));
    bar.setHasBlur(false);
    bar.setHasBlur(true);
    QVERIFY(button(bar, "btnBlur")->isVisible());
    QCOMPARE(rec.take(), QStringList());
}

void TstDrawingBar::pinnedPictureSize()
{
    DlgPaintToScreen pin;
    QImage image(200, 100, QImage::Format_ARGB32);
    image.fill(QColor(10, 200, 30));
    pin.setImg(image);
    QCOMPARE(pin.size(), QSize(218, 118));
    pin.show();
    const QImage shot = pin.grab().toImage();
    QCOMPARE(QColor(shot.pixel(109, 59)), QColor(10, 200, 30));
    QCOMPARE(QColor(shot.pixel(9, 9)), QColor(10, 200, 30));
    QVERIFY(qAlpha(shot.pixel(0, 0)) < 64);   // shadow, not picture
}

void TstDrawingBar::pinnedPictureCloseButton()
{
    DlgPaintToScreen pin;
    QImage image(120, 80, QImage::Format_RGB32);
    image.fill(Qt::white);
    pin.setImg(image);
    pin.show();
    auto* close = pin.findChild<QToolButton*>("btnClose");
    QVERIFY(close);
    QVERIFY(!close->isVisible());
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(&pin, &enter);
    QVERIFY(close->isVisible());
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&pin, &leave);
    QVERIFY(!close->isVisible());

    pin.setShowClose(false);
    QApplication::sendEvent(&pin, &enter);
    QVERIFY(!close->isVisible());

    pin.setShowClose(true);
    QApplication::sendEvent(&pin, &enter);
    QSignalSpy finished(&pin, &QDialog::finished);
    close->click();
    QCOMPARE(finished.count(), 1);
    QVERIFY(!pin.isVisible());
}

QTEST_MAIN(TstDrawingBar)
#include "tst_drawing_bar.moc"
