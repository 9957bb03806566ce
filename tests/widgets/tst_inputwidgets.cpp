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
    QTemporaryDir m_dir;

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

    // A tip edit with a plain line edit below it, to take the focus away.
    struct TipWindow
    {
        QWidget window;
        QLineEdit* other = nullptr;
    };
    template <class Edit>
    static Edit* makeTipWindow(TipWindow& tip)
    {
        auto* layout = new QVBoxLayout(&tip.window);
        auto* edit = new Edit(&tip.window);
        tip.other = new QLineEdit(&tip.window);
        layout->addWidget(edit);
        layout->addWidget(tip.other);
        tip.window.resize(300, 80);
        return edit;
    }

    // A slider from 0 to `maximum` filling a shown window.
    static VxSlider* makeSlider(QWidget& window, Qt::Orientation orientation, int maximum, const QSize& size)
    {
        auto* slider = new VxSlider(&window);
        slider->setOrientation(orientation);
        slider->setRange(0, maximum);
        slider->setGeometry(QRect(QPoint(0, 0), size));
        window.show();
        return slider;
    }

    QString deletePicture()
    {
        QImage image(12, 12, QImage::Format_ARGB32);
        image.fill(Qt::red);
        const QString path = m_dir.filePath("delete.png");
        image.save(path, "PNG");
        return path;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // ------------------------------------------------------------ CustomSpin

    void spinTypingReportsOnceOnLeaving()
    {
        SpinPair pair;
        makeSpins(pair);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClick(pair.first, Qt::Key_1);
        QTest::keyClick(pair.first, Qt::Key_2);
        QTest::keyClick(pair.first, Qt::Key_0);
        QCOMPARE(pair.first->value(), 120);
        QCOMPARE(spy.count(), 0);
        focus(pair.second);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 120);
    }

    void spinArrowReportsAtOnceAndNotAgain()
    {
        SpinPair pair;
        makeSpins(pair);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        QTest::keyClick(pair.first, Qt::Key_Up);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 1);
        QTest::keyClick(pair.first, Qt::Key_PageUp);
        QCOMPARE(spy.count(), 2);
        // Already reported: leaving the box must not repeat it.
        focus(pair.second);
        QCOMPARE(spy.count(), 2);
    }

    void spinReturnAfterTypingReportsOnce()
    {
        SpinPair pair;
        makeSpins(pair);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClicks(pair.first, "640");
        QCOMPARE(spy.count(), 0);
        QTest::keyClick(pair.first, Qt::Key_Return);
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), 640);
        focus(pair.second);
        QCOMPARE(spy.count(), 1);
        // Typing again after the Return is a new change, reported on leaving.
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClicks(pair.first, "480");
        focus(pair.second);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 480);
    }

    void spinFocusWithoutChangeIsSilent()
    {
        SpinPair pair;
        makeSpins(pair);
        pair.first->setValue(300);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        focus(pair.second);
        QCOMPARE(spy.count(), 0);
        // Typing the same value back is no change either.
        focus(pair.first);
        pair.first->selectAll();
        QTest::keyClicks(pair.first, "300");
        focus(pair.second);
        QCOMPARE(spy.count(), 0);
    }

    void spinValueSetByTheOwnerIsNotEchoed()
    {
        SpinPair pair;
        makeSpins(pair);
        QSignalSpy spy(pair.first, QOverload<int>::of(&QSpinBox::valueChanged));
        focus(pair.first);
        pair.first->setCustomValue(720); // reported as usual, once
        QCOMPARE(spy.count(), 1);
        focus(pair.second);
        QCOMPARE(spy.count(), 1);
        // Set while the box has no focus: the next visit reports nothing.
        {
            QSignalBlocker block(pair.first);
            pair.first->setCustomValue(1080);
        }
        focus(pair.first);
        focus(pair.second);
        QCOMPARE(spy.count(), 1);
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
        QTest::qWait(20);
        QCOMPARE(combo->getAllText(), texts);
        QCOMPARE(combo->count(), texts.size());
        QCOMPARE(combo->currentIndex(), selected);
        QVERIFY(combo->currentIndex() < combo->getAllText().size());
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
        QCOMPARE(combo->count(), 0);
        QCOMPARE(combo->currentIndex(), -1);
        QVERIFY(combo->getAllTextData().isEmpty());
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
        combo->privateListWidget()->setDeletedPicture(deletePicture());
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
        QVERIFY(!picture.isEmpty());
        QVERIFY(row.contains(picture));

        // A press on the text part is an ordinary press.
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 5,
                                                                       row.center().y()));
        QTest::qWait(30);
        QCOMPARE(combo->getAllText().size(), 3);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 5,
                                                                         row.center().y()));
        QTRY_VERIFY(!view->isVisible());

        combo->showPopup();
        QTRY_VERIFY(view->isVisible());
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

    void sliderMapping()
    {
        VxSlider slider;
        slider.setOrientation(Qt::Horizontal);
        slider.setRange(0, 100);
        slider.resize(220, 24);
        for (int v = 0; v <= 100; ++v)
            QCOMPARE(slider.pixelPosToRangeValue(slider.rangeValueToPixelPos(v)), v);
        QVERIFY(slider.rangeValueToPixelPos(0) < slider.rangeValueToPixelPos(100));
        slider.setInvertedAppearance(true);
        QVERIFY(slider.rangeValueToPixelPos(0) > slider.rangeValueToPixelPos(100));

        VxSlider vertical;
        vertical.setOrientation(Qt::Vertical);
        vertical.setRange(-50, 50);
        vertical.resize(24, 220);
        // Vertical sliders grow upwards.
        QVERIFY(vertical.rangeValueToPixelPos(50) < vertical.rangeValueToPixelPos(-50));
        for (int v = -50; v <= 50; ++v)
            QCOMPARE(vertical.pixelPosToRangeValue(vertical.rangeValueToPixelPos(v)), v);
        vertical.setFlagValue(7);
        QCOMPARE(vertical.getFlagValue(), 7);
    }

    void sliderJumpsToThePressAndDrags()
    {
        QWidget window;
        VxSlider* slider = makeSlider(window, Qt::Horizontal, 100, QSize(220, 24));
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy actions(slider, &QAbstractSlider::actionTriggered);
        QSignalSpy values(slider, &QAbstractSlider::valueChanged);

        const int y = slider->height() / 2;
        const QPoint at80(slider->rangeValueToPixelPos(80), y);
        sendMouse(slider, QEvent::MouseButtonPress, at80, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(slider->value(), 80);
        QVERIFY(actions.count() >= 1);
        QCOMPARE(actions.first().at(0).toInt(), int(QAbstractSlider::SliderMove));
        QVERIFY(slider->isSliderDown()); // the base class took the handle

        const QPoint at90(slider->rangeValueToPixelPos(90), y);
        sendMouse(slider, QEvent::MouseMove, at90, Qt::NoButton, Qt::LeftButton);
        QCOMPARE(slider->value(), 90);
        sendMouse(slider, QEvent::MouseButtonRelease, at90, Qt::LeftButton, Qt::NoButton);
        QVERIFY(!slider->isSliderDown());
        QCOMPARE(slider->value(), 90);
        QVERIFY(values.count() >= 2);
    }

    void sliderPressOnTheHandleDrags()
    {
        QWidget window;
        VxSlider* slider = makeSlider(window, Qt::Horizontal, 100, QSize(220, 24));
        slider->setValue(30);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QSignalSpy actions(slider, &QAbstractSlider::actionTriggered);
        const QPoint handle(slider->rangeValueToPixelPos(30) + 1, slider->height() / 2);
        sendMouse(slider, QEvent::MouseButtonPress, handle, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(slider->value(), 30);
        QVERIFY(slider->isSliderDown());
        for (const QList<QVariant>& a : actions)
            QVERIFY(a.at(0).toInt() != int(QAbstractSlider::SliderMove));
        sendMouse(slider, QEvent::MouseButtonRelease, handle, Qt::LeftButton, Qt::NoButton);
    }

    void sliderIgnoresOtherPresses()
    {
        QWidget window;
        VxSlider* slider = makeSlider(window, Qt::Horizontal, 100, QSize(220, 24));
        const QPoint at70(slider->rangeValueToPixelPos(70), slider->height() / 2);
        sendMouse(slider, QEvent::MouseButtonPress, at70, Qt::RightButton, Qt::RightButton);
        sendMouse(slider, QEvent::MouseButtonRelease, at70, Qt::RightButton, Qt::NoButton);
        QCOMPARE(slider->value(), 0);
        slider->setEnabled(false);
        sendMouse(slider, QEvent::MouseButtonPress, at70, Qt::LeftButton, Qt::LeftButton);
        QCOMPARE(slider->value(), 0);
    }

    // ------------------------------------------------------------ UIHelper

    void centreRaisesTheHeightToTheHint()
    {
        QWidget parent;
        parent.setGeometry(0, 0, 600, 400);
        QWidget w;
        auto* layout = new QVBoxLayout(&w);
        auto* tall = new QWidget(&w);
        tall->setMinimumSize(50, 180);
        layout->addWidget(tall);
        w.setGeometry(0, 0, 200, 40);
        UIHelper::moveParentWidgetCenter(&w, &parent, true);
        const int hint = w.sizeHint().height();
        QVERIFY(hint > 40);
        QCOMPARE(w.height(), hint);
        QCOMPARE(w.geometry().topLeft(), QPoint(300 - 100, 200 - hint / 2));

        // A tall window keeps its height.
        w.setGeometry(0, 0, 200, 390);
        UIHelper::moveParentWidgetCenter(&w, &parent, true);
        QCOMPARE(w.geometry(), QRect(200, 5, 200, 390));
    }

    void centreOnAnEmbeddedParent()
    {
        // The meter is centred on the home window, which sits inside the
        // frame: the home window's own area counts, not its offset in the
        // frame.
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
    }

    // ------------------------------------------------------------ scroll area

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
            auto* s = new QWidget(content);
            s->setFixedHeight(150);
            layout->addWidget(s);
            sections << s;
        }
        area.setWidget(content);
        area.setWidgetResizable(true);
        area.resize(300, 400);
        area.show();
        QVERIFY(QTest::qWaitForWindowExposed(&area));
        QScrollBar* bar = area.verticalScrollBar();
        QCOMPARE(bar->maximum(), 8 * 150 - 400);

        const auto topOf = [&](int i) {
            return sections[i]->mapTo(area.viewport(), QPoint(0, 0)).y();
        };
        // A section already in view is still brought up to the top.
        area.ensureWidgetVisible(sections[1]);
        QCOMPARE(bar->value(), 150);
        QCOMPARE(topOf(1), 0);

        // A section far below ends at the top of the view too.
        area.ensureWidgetVisible(sections[5]);
        QCOMPARE(bar->value(), 750);
        QCOMPARE(topOf(5), 0);

        // So does one above the view.
        area.ensureWidgetVisible(sections[2]);
        QCOMPARE(topOf(2), 0);

        // The last section cannot reach the top: the view stops at the end
        // with the section whole.
        area.ensureWidgetVisible(sections[7]);
        QCOMPARE(bar->value(), bar->maximum());
        QCOMPARE(topOf(7), 400 - 150);

        // The section at the very top stays where it is.
        bar->setValue(0);
        area.ensureWidgetVisible(sections[0]);
        QCOMPARE(bar->value(), 0);

        // Something that is not inside the area changes nothing.
        QWidget stranger;
        const int before = bar->value();
        area.ensureWidgetVisible(&stranger);
        area.ensureWidgetVisible(nullptr);
        QCOMPARE(bar->value(), before);
    }

    // ------------------------------------------------------------ tip edits

    void searchEditTip()
    {
        TipWindow tip;
        auto* edit = makeTipWindow<SearchEdit>(tip);
        edit->setTextColor(QColor(255, 0, 0));
        QCOMPARE(edit->textHOffset(), 20);
        QCOMPARE(edit->tipText(), QString("Search"));
        showActive(tip.window, tip.other);

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
        auto* layout = new QVBoxLayout(&window);
        auto* edit = new CustomTextEdit(&window);
        layout->addWidget(edit);
        edit->setTipText("Describe the problem");
        edit->setTipTextClr(QColor(0, 160, 0));
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* overlay = edit->findChild<TextWidget*>();
        QVERIFY(overlay);
        QTRY_VERIFY(overlay->isVisible());
        QCOMPARE(overlay->text(), QString("Describe the problem"));
        QCOMPARE(overlay->geometry().topLeft(), QPoint(11, 4));
        QCOMPARE(overlay->geometry().bottomRight(), edit->rect().bottomRight());
        QVERIFY(countNear(window.grab().toImage(), QColor(0, 160, 0), kTolerance) > 0);

        // A click where the tip lies reaches the editor, not the tip.
        const QPoint inside = overlay->mapTo(&window, QPoint(20, 5));
        QWidget* hit = window.childAt(inside);
        QVERIFY(hit != overlay);
        QCOMPARE(hit, edit->viewport());

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
