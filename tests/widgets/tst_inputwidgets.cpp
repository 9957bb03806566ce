// The shared input widgets: size boxes that report committed values once,
// the attachment combo with delete pictures, the slider that jumps to a
// press, the centring helper, the scroll area that brings a section up and
// the edits that paint their own tip.
#include <QApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QVBoxLayout>

#include "widgets/CustomCombox.h"
#include "widgets/CustomSpin.h"
#include "widgets/CustomTextEdit.h"
#include "widgets/SearchEdit.h"
#include "widgets/UIHelper.h"
#include "widgets/VxAutoMoveScrollArea.h"
#include "widgets/VxSlider.h"
#include "tests/support/WidgetTestHelpers.h"

using testsupport::countNear;
using testsupport::sendMouse;

namespace {

// How far a pixel of a tip may be from its colour (anti-aliased text has
// few exact ones).
constexpr int kTolerance = 40;

class SearchTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* source, const char*, int) const override
    {
        if (QLatin1String(context) == QLatin1String("SearchEdit")
            && QLatin1String(source) == QLatin1String("Search"))
            return "Suchen";
        return QString();
    }
    bool isEmpty() const override { return false; }
};

} // namespace

class TestInputWidgets : public QObject
{
    Q_OBJECT

private:
    // Two size boxes in a shown, active window, so focus really moves.
    struct SpinPair
    {
        QWidget window;
        CustomSpin* first = nullptr;
        CustomSpin* second = nullptr;
    };
    void makeSpins(SpinPair& pair)
    {
        auto* layout = new QVBoxLayout(&pair.window);
        pair.first = new CustomSpin(&pair.window);
        pair.second = new CustomSpin(&pair.window);
        pair.first->setRange(0, 4096);
        pair.second->setRange(0, 4096);
        layout->addWidget(pair.first);
        layout->addWidget(pair.second);
        showActive(pair.window, pair.second);
    }
    void focus(QWidget* w)
    {
        w->setFocus();
        QTRY_VERIFY(w->hasFocus());
    }
    // Shows `window` as the active window with the focus on `focused`.
    void showActive(QWidget& window, QWidget* focused)
    {
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        focus(focused);
    }

private slots:
    // ------------------------------------------------------------ CustomSpin

    void spinReportsTypingOnceOnLeavingOrReturn()
    {
        SpinPair pair;
        makeSpins(pair);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClicks(pair.first, "120");
        QCOMPARE(spy.count(), 0);
        focus(pair.second);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 120);

        // Return reports at once, and leaving does not repeat it.
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClicks(pair.first, "640");
        QTest::keyClick(pair.first, Qt::Key_Return);
        QCOMPARE(spy.count(), 2);
        focus(pair.second);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 640);

        // A visit without change, or typing the same value back, is silent.
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClicks(pair.first, "640");
        focus(pair.second);
        QCOMPARE(spy.count(), 2);
    }

    void spinArrowsAndOwnerValuesReportOnce()
    {
        SpinPair pair;
        makeSpins(pair);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        QTest::keyClick(pair.first, Qt::Key_Up);
        QCOMPARE(spy.count(), 1);
        QTest::keyClick(pair.first, Qt::Key_PageUp);
        QCOMPARE(spy.count(), 2);
        pair.first->setCustomValue(720);
        QCOMPARE(spy.count(), 3);
        // Already reported: leaving the box must not repeat it.
        focus(pair.second);
        QCOMPARE(spy.count(), 3);
        // Set while the box has no focus: the next visit reports nothing.
        {
            QSignalBlocker block(pair.first);
            pair.first->setCustomValue(1080);
        }
        focus(pair.first);
        focus(pair.second);
        QCOMPARE(spy.count(), 3);
    }

    // ------------------------------------------------------------ CustomCombox

    void comboRemovesRows_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("remove");
        QTest::addColumn<QStringList>("texts");
        QTest::addColumn<int>("selected");
        QTest::newRow("middle") << 0 << 1 << QStringList{"a", "c"} << 1;
        // The removed index no longer exists: the new last row is selected.
        QTest::newRow("last") << 0 << 2 << QStringList{"a", "b"} << 1;
        QTest::newRow("last and current") << 2 << 2 << QStringList{"a", "b"} << 1;
        QTest::newRow("no such row") << 1 << 3 << QStringList{"a", "b", "c"} << 1;
    }
    void comboRemovesRows()
    {
        QFETCH(int, current);
        QFETCH(int, remove);
        QFETCH(QStringList, texts);
        QFETCH(int, selected);
        QWidget window;
        auto* combo = new CustomCombox(&window);
        combo->addText("a", "A");
        combo->addText("b", "B");
        combo->addText("c", "C");
        window.show();
        combo->setCurrentIndex(current);
        combo->triggerRemoveItem(remove);
        QCOMPARE(combo->getAllText().size(), 3); // not at once
        QTRY_COMPARE(combo->getAllText(), texts);
        QCOMPARE(combo->count(), texts.size());
        QCOMPARE(combo->currentIndex(), selected);
        QStringList data;
        for (const QVariant& v : combo->getAllTextData())
            data << v.toString();
        QCOMPARE(data.join(""), texts.join("").toUpper());
        combo->grab(); // paints the current row: must stay in range
    }

    void comboRemovingEveryRowHidesIt()
    {
        QWidget window;
        auto* combo = new CustomCombox(&window);
        combo->addText("only", 1);
        window.show();
        QVERIFY(combo->isVisible());
        combo->triggerRemoveItem(0);
        QTRY_VERIFY(combo->getAllText().isEmpty());
        QVERIFY(!combo->isVisible());
        QCOMPARE(combo->currentIndex(), -1);
        combo->grab();
        // And it comes back with the next attachment.
        combo->addText("again", 2);
        QVERIFY(combo->isVisible());
        QCOMPARE(combo->getAllText(), QStringList{"again"});
    }

    void comboDeletePictureInThePopup()
    {
        QWidget window;
        auto* combo = new CustomCombox(&window);
        QTemporaryDir dir;
        QImage image(12, 12, QImage::Format_ARGB32);
        image.fill(Qt::red);
        image.save(dir.filePath("delete.png"), "PNG");
        combo->privateListWidget()->setDeletedPicture(dir.filePath("delete.png"));
        QVERIFY(!combo->privateListWidget()->deletedPixmap().isNull());
        combo->addText("first.log", 1);
        combo->addText("second.log", 2);
        combo->addText("third.log", 3);
        window.resize(400, 100);
        window.show();
        combo->grab(); // the first paint learns the indent
        QVERIFY(combo->getLeftIndent() >= 0);
        combo->showPopup();
        QAbstractItemView* view = combo->view();
        QTRY_VERIFY(view->isVisible());

        auto* delegate = qobject_cast<PrivateListWidgetDelegate*>(view->itemDelegate());
        QVERIFY(delegate);
        const QModelIndex second = view->model()->index(1, 0);
        const QRect row = view->visualRect(second);
        const QRect picture = delegate->pictureRect(row);
        QVERIFY(!picture.isEmpty() && row.contains(picture));

        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, picture.center());
        QTRY_COMPARE(combo->getAllText(), (QStringList{"first.log", "third.log"}));
        QCOMPARE(combo->currentIndex(), 1);
        // The release that ends the press asks the popup to close; it stays.
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, picture.center());
        QVERIFY(view->isVisible());
        combo->hidePopup();
        QVERIFY(!view->isVisible());
        QCOMPARE(combo->getAllTextData(), (QList<QVariant>{1, 3}));
    }

    // ------------------------------------------------------------ VxSlider

    void sliderMapsBothWays()
    {
        VxSlider vertical;
        vertical.setOrientation(Qt::Vertical);
        vertical.setRange(-50, 50);
        vertical.resize(24, 220);
        // Vertical sliders grow upwards.
        QVERIFY(vertical.rangeValueToPixelPos(50) < vertical.rangeValueToPixelPos(-50));
        for (int v = -50; v <= 50; ++v)
            QCOMPARE(vertical.pixelPosToRangeValue(vertical.rangeValueToPixelPos(v)), v);
    }

    void sliderJumpsToThePressAndDrags()
    {
        QWidget window;
        auto* slider = new VxSlider(&window);
        slider->setOrientation(Qt::Horizontal);
        slider->setRange(0, 100);
        slider->setGeometry(0, 0, 220, 24);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy actions(slider, &QAbstractSlider::actionTriggered);
        const int y = slider->height() / 2;
        const QPoint at80(slider->rangeValueToPixelPos(80), y);
        // Only the left button of an enabled slider moves it.
        sendMouse(slider, QEvent::MouseButtonPress, at80, Qt::RightButton, Qt::RightButton);
        sendMouse(slider, QEvent::MouseButtonRelease, at80, Qt::RightButton, Qt::NoButton);
        QCOMPARE(slider->value(), 0);
        sendMouse(slider, QEvent::MouseButtonPress, at80, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(slider->value(), 80);
        QCOMPARE(actions.first().at(0).toInt(), int(QAbstractSlider::SliderMove));
        QVERIFY(slider->isSliderDown()); // the base class took the handle
        const QPoint at90(slider->rangeValueToPixelPos(90), y);
        sendMouse(slider, QEvent::MouseMove, at90, Qt::NoButton, Qt::LeftButton);
        sendMouse(slider, QEvent::MouseButtonRelease, at90, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!slider->isSliderDown());
        QCOMPARE(slider->value(), 90);

        // A press on the handle itself only grabs it.
        actions.clear();
        const QPoint handle(slider->rangeValueToPixelPos(90) + 1, y);
        sendMouse(slider, QEvent::MouseButtonPress, handle, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(slider->value(), 90);
        QVERIFY(slider->isSliderDown());
        for (const QList<QVariant>& a : actions)
            QVERIFY(a.at(0).toInt() != int(QAbstractSlider::SliderMove));
        sendMouse(slider, QEvent::MouseButtonRelease, handle, Qt::LeftButton, Qt::NoButton);
    }

    // ------------------------------------------------------------ others

    void centreOnAParent()
    {
        // The meter is centred on the home window, which sits inside the
        // frame: the home window's own area counts, not its offset in it.
        QWidget frame;
        frame.setGeometry(100, 50, 800, 600);
        auto* home = new QWidget(&frame);
        home->setGeometry(0, 100, 800, 500);
        frame.show();
        QWidget meter;
        meter.setGeometry(0, 0, 200, 100);
        UIHelper::moveParentWidgetCenter(&meter, home, false);
        QCOMPARE(meter.geometry(), QRect(100 + 400 - 100, 50 + 100 + 250 - 50, 200, 100));
        // A child centred on its own parent lands in the middle of it.
        auto* badge = new QWidget(home);
        badge->resize(40, 20);
        UIHelper::moveParentWidgetCenter(badge, home, false);
        QCOMPARE(badge->geometry(), QRect(380, 240, 40, 20));
        // Asked to, a low window grows to its size hint first.
        QWidget low;
        auto* tall = new QWidget(&low);
        tall->setMinimumSize(50, 180);
        (new QVBoxLayout(&low))->addWidget(tall);
        low.setGeometry(0, 0, 200, 40);
        UIHelper::moveParentWidgetCenter(&low, home, true);
        QVERIFY(low.height() > 180);
        QCOMPARE(low.height(), low.sizeHint().height());
    }

    void scrollAreaBringsASectionUp()
    {
        VxAutoMoveScrollArea area;
        area.setFrameShape(QFrame::NoFrame);
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        QList<QWidget*> sections;
        for (int i = 0; i < 8; ++i) {
            sections << new QWidget(content);
            sections.last()->setFixedHeight(150);
            layout->addWidget(sections.last());
        }
        area.setWidget(content);
        area.setWidgetResizable(true);
        area.resize(300, 400);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        const auto topOf = [&](int i) { return sections[i]->mapTo(area.viewport(), QPoint(0, 0)).y(); };
        // In view, below, or above: the section ends at the top of the view.
        for (int i : {1, 5, 2}) {
            area.ensureWidgetVisible(sections[i]);
            QCOMPARE(topOf(i), 0);
        }
        // The last one cannot reach the top: the view stops at the end.
        area.ensureWidgetVisible(sections[7]);
        QCOMPARE(topOf(7), 400 - 150);
        // Something that is not inside the area changes nothing.
        QWidget stranger;
        area.ensureWidgetVisible(&stranger);
        area.ensureWidgetVisible(nullptr);
        QCOMPARE(topOf(7), 400 - 150);
    }

    void searchEditTip()
    {
        // A plain line edit below it takes the focus away.
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* edit = new SearchEdit(&window);
        auto* other = new QLineEdit(&window);
        layout->addWidget(edit);
        layout->addWidget(other);
        edit->setTextColor(QColor(255, 0, 0));
        showActive(window, other);
        QVERIFY(countNear(edit->grab().toImage(), Qt::red, kTolerance) > 0);
        edit->setText("report");
        QCOMPARE(countNear(edit->grab().toImage(), Qt::red, kTolerance), 0);
        edit->clear();
        focus(edit);
        QCOMPARE(countNear(edit->grab().toImage(), Qt::red, kTolerance), 0);
        SearchTranslator translator;
        QCoreApplication::installTranslator(&translator);
        QTRY_COMPARE(edit->tipText(), QString("Suchen"));
        QCoreApplication::removeTranslator(&translator);
        QTRY_COMPARE(edit->tipText(), QString("Search"));
    }

    void textEditTipOverlay()
    {
        QWidget window;
        auto* edit = new CustomTextEdit(&window);
        (new QVBoxLayout(&window))->addWidget(edit);
        edit->setTipText("Describe the problem");
        edit->setTipTextClr(QColor(0, 160, 0));
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* overlay = edit->findChild<TextWidget*>();
        QTRY_VERIFY(overlay->isVisible());
        QVERIFY(countNear(window.grab().toImage(), QColor(0, 160, 0), kTolerance) > 0);
        // A click where the tip lies reaches the editor, not the tip.
        QCOMPARE(window.childAt(overlay->mapTo(&window, QPoint(20, 5))), edit->viewport());
        edit->setPlainText("It crashed");
        QTRY_VERIFY(!overlay->isVisible());
        edit->clear();
        QTRY_VERIFY(overlay->isVisible());
        edit->setTipText(QString());
        QTRY_VERIFY(!overlay->isVisible());
    }
};

QTEST_MAIN(TestInputWidgets)
#include "tst_inputwidgets.moc"
