// The shared input widgets: size boxes reporting once, the combo's delete
// pictures, the slider that jumps to a press, the text edit's tip.
#include <QApplication>
#include <QFontDatabase>
#include <QtTest>
#include <QVBoxLayout>

#include "tests/support/WidgetTestHelpers.h"
#include "widgets/CustomCombox.h"
#include "widgets/CustomSpin.h"
#include "widgets/CustomTextEdit.h"
#include "widgets/TipTextStyle.h"
#include "widgets/VxSlider.h"
#include "core/Utils.h"
#include "platform/framework/VxProductInfo.h"

using testsupport::sendMouse;

namespace {

void focus(QWidget* w)
{
    w->setFocus();
    QTRY_VERIFY(w->hasFocus());
}

// A window with three rows that removing takes away one at a time.
struct ComboWindow
{
    ComboWindow()
    {
        combo = new CustomCombox(&window);
        for (const char* text : {"a", "b", "c"})
            combo->addText(text, QString(text).toUpper());
        window.resize(400, 100);
        window.show();
    }
    QWidget window;
    CustomCombox* combo = nullptr;
};

} // namespace

class TestInputWidgets : public QObject
{
    Q_OBJECT

private slots:
    void spinReportsEachCommittedValueOnce()
    {
        // Two boxes in a shown, active window, so focus really moves.
        QWidget window;
        auto* layout = new QVBoxLayout(&window);
        auto* spin = new CustomSpin(&window);
        auto* other = new CustomSpin(&window);
        spin->setRange(0, 4096);
        layout->addWidget(spin);
        layout->addWidget(other);
        window.show();
        QApplication::setActiveWindow(&window);
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QSignalSpy spy(spin, QOverload<int>::of(&QSpinBox::valueChanged));

        // Typing reports on leaving, once.
        focus(spin);
        spin->selectAll();
        QTest::keyClicks(spin, "120");
        QCOMPARE(spy.count(), 0);
        focus(other);
        QCOMPARE(spy.count(), 1);
        // Return reports at once, and leaving does not repeat it.
        focus(spin);
        spin->selectAll();
        QTest::keyClicks(spin, "640");
        QTest::keyClick(spin, Qt::Key_Return);
        focus(other);
        QCOMPARE(spy.count(), 2);
        // Arrows and the owner's values report at once, never again on leaving.
        focus(spin);
        QTest::keyClick(spin, Qt::Key_Up);
        spin->setCustomValue(720);
        focus(other);
        QCOMPARE(spy.count(), 4);
        QCOMPARE(spy.last().at(0).toInt(), 720);
    }

    void comboRemovesRows_data()
    {
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("remove");
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("middle") << 0 << 1 << QStringList{"a", "c"};
        // The removed index no longer exists: the new last row is selected.
        QTest::newRow("last and current") << 2 << 2 << QStringList{"a", "b"};
    }

    void comboRemovesRows()
    {
        QFETCH(int, current);
        QFETCH(int, remove);
        QFETCH(QStringList, texts);
        ComboWindow w;
        w.combo->setCurrentIndex(current);
        w.combo->triggerRemoveItem(remove);
        QCOMPARE(w.combo->getAllText().size(), 3); // not at once
        QTRY_COMPARE(w.combo->getAllText(), texts);
        QCOMPARE(w.combo->currentIndex(), 1);
        QCOMPARE(w.combo->getAllTextData().last().toString(), texts.last().toUpper());
        w.combo->grab(); // paints the current row: must stay in range
    }

    void comboRemovingEveryRowHidesIt()
    {
        ComboWindow w;
        for (int i = 2; i >= 0; --i)
            w.combo->triggerRemoveItem(i);
        QTRY_VERIFY(w.combo->getAllText().isEmpty());
        QVERIFY(!w.combo->isVisible());
        QCOMPARE(w.combo->currentIndex(), -1);
        w.combo->grab();
        // And it comes back with the next attachment.
        w.combo->addText("again", 2);
        QVERIFY(w.combo->isVisible());
    }

    void comboDeletePictureInThePopup()
    {
        QTemporaryDir dir;
        QImage image(12, 12, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(dir.filePath("delete.png"), "PNG"));
        ComboWindow w;
        w.combo->privateListWidget()->setDeletedPicture(dir.filePath("delete.png"));
        w.combo->grab(); // the first paint learns the indent
        w.combo->showPopup();
        QAbstractItemView* view = w.combo->view();
        QTRY_VERIFY(view->isVisible());
        auto* delegate = qobject_cast<PrivateListWidgetDelegate*>(view->itemDelegate());
        QVERIFY(delegate);
        const QRect picture = delegate->pictureRect(view->visualRect(view->model()->index(1, 0)));
        QVERIFY(!picture.isEmpty());

        // A quick click: the release asks the popup to close before the
        // removal runs; the row goes all the same and the popup stays.
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, picture.center());
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, picture.center());
        QTRY_COMPARE(w.combo->getAllText(), (QStringList{"a", "c"}));
        QVERIFY(view->isVisible());
        w.combo->hidePopup();
    }

    void sliderJumpsToThePress()
    {
        QWidget window;
        auto* slider = new VxSlider(&window);
        slider->setOrientation(Qt::Horizontal);
        slider->setRange(0, 100);
        slider->setGeometry(0, 0, 220, 24);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QPoint at80(slider->rangeValueToPixelPos(80), 12);
        // Only the left button moves it.
        sendMouse(slider, QEvent::MouseButtonPress, at80, Qt::RightButton);
        sendMouse(slider, QEvent::MouseButtonRelease, at80, Qt::RightButton);
        QCOMPARE(slider->value(), 0);
        sendMouse(slider, QEvent::MouseButtonPress, at80, Qt::LeftButton);
        QCOMPARE(slider->value(), 80);
        QVERIFY(slider->isSliderDown()); // the base class took the handle
        const QPoint at90(slider->rangeValueToPixelPos(90), 12);
        sendMouse(slider, QEvent::MouseMove, at90, Qt::NoButton, Qt::LeftButton);
        sendMouse(slider, QEvent::MouseButtonRelease, at90, Qt::LeftButton);
        QCOMPARE(slider->value(), 90);
    }

    void textEditTipLetsClicksThrough()
    {
        QWidget window;
        auto* edit = new CustomTextEdit(&window);
        (new QVBoxLayout(&window))->addWidget(edit);
        edit->setTipText("Describe the problem");
        window.resize(300, 200);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* overlay = edit->findChild<TextWidget*>();
        QTRY_VERIFY(overlay->isVisible());
        // A click where the tip lies reaches the editor, not the tip.
        QCOMPARE(window.childAt(overlay->mapTo(&window, QPoint(20, 5))), edit->viewport());
        edit->setPlainText("It crashed");
        QTRY_VERIFY(!overlay->isVisible());
        edit->clear();
        QTRY_VERIFY(overlay->isVisible());
    }

    // Each row: the product's font family parameter and whether the tips
    // (and the text drawn while recording) use it or the desktop's font.
    void tipFontFallsBackToTheDesktopFont_data()
    {
        QTest::addColumn<QString>("family");
        QTest::addColumn<bool>("used");
        QTest::newRow("none named") << QString() << false;
        QTest::newRow("named but not installed") << "No Such Family 1f3a" << false;
        QString installed;
        for (const QString& family : QFontDatabase().families())
            if (QFontDatabase().hasFamily(family)
                && family != QFontDatabase::systemFont(QFontDatabase::GeneralFont).family())
                installed = family;
        QTest::newRow("named and installed") << installed << true;
    }

    void tipFontFallsBackToTheDesktopFont()
    {
        QFETCH(QString, family);
        QFETCH(bool, used);
        QVERIFY(!used || !family.isEmpty());
        VxProductInfo::instance()->overrideValue("extend/fontFamily", family);
        const QString expected = used ? family : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
        QVERIFY(!expected.isEmpty());
        QCOMPARE(Utils::productFontFamily("en"), expected);
        QCOMPARE(TipTextStyle::font().family(), expected);
        QCOMPARE(TipTextStyle::font().pointSize(), 10);
        VxProductInfo::instance()->overrideValue("extend/fontFamily", QString());
    }
};

QTEST_MAIN(TestInputWidgets)
#include "tst_inputwidgets.moc"
