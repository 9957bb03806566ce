// The drawing tool bar's signal sequences and the values it hands to the
// canvas.
#include <QComboBox>
#include <QSpinBox>
#include <QToolButton>
#include <QtTest>

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
    void toolChoicesAndChanges()
    {
        FfColor bar;
        bar.show();
        Recorder rec(bar);

        // Without a tool a change is announced with no tool.
        button(bar, "btnSizeLarge")->click();
        button(bar, "btnPalette3")->click();
        QCOMPARE(rec.take(), QStringList({"start 0", "start 0"}));

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

    void textAndNumberOptions()
    {
        FfColor bar;
        bar.show();
        Recorder rec(bar);
        auto* font = bar.findChild<QComboBox*>("cmbFontSize");
        auto* number = bar.findChild<QSpinBox*>("spinNumber");
        QVERIFY(font && number);

        button(bar, "btnText")->click();
        font->setCurrentIndex(font->findData(24));
        QCOMPARE(bar.getFontSize(), 24);

        button(bar, "btnNumber")->click();
        number->setValue(3);
        QCOMPARE(bar.numberNumber(), 2);
        QCOMPARE(rec.take(), QStringList({"start 8", "start 8", "start 7", "start 7"}));

        // The canvas placed a callout: the bar follows quietly.
        bar.setNumberNumber(4);
        QCOMPARE(bar.numberNumber(), 3);
        QCOMPARE(rec.take(), QStringList());
    }
};

QTEST_MAIN(TstDrawingBar)
#include "tst_drawing_bar.moc"
