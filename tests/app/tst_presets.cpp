// The popup frame and the process-wide preset menu.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QRadioButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QSpacerItem>
#include <QTest>
#include <QToolButton>
#include <QTranslator>
#include <QVBoxLayout>

#include "app/FfMenu.h"
#include "app/PersetMenu.h"

namespace {

// Turns every text of the two classes into a marked one, as a translation
// would.
class MarkingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* source, const char* disambiguation = nullptr,
                      int n = -1) const override
    {
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        if (qstrcmp(context, "PersetMenu") == 0 || qstrcmp(context, "FfMenu") == 0)
            return QStringLiteral("~") + QString::fromUtf8(source);
        return QString();
    }
    bool isEmpty() const override { return false; }
};

QList<QAbstractButton*> presetButtons()
{
    QList<QAbstractButton*> buttons;
    for (const char* name : {"Video Recorder", "Audio Recorder", "Window Recorder", "Webcam Recorder"})
        buttons << PersetMenu::instance()->getButtonByName(QString::fromLatin1(name));
    return buttons;
}

QList<QAbstractButton*> checkedOf(const QList<QAbstractButton*>& buttons)
{
    QList<QAbstractButton*> checked;
    for (QAbstractButton* b : buttons)
        if (b->isChecked())
            checked << b;
    return checked;
}

bool isInside(QWidget* widget, QWidget* ancestor)
{
    for (QWidget* w = widget; w; w = w->parentWidget())
        if (w == ancestor)
            return true;
    return false;
}

} // namespace

class TestPresets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<QAbstractButton*>(); }

    void cleanup()
    {
        PersetMenu::release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // Buttons and frames come and go in the column and the exclusive group.
    void frameColumnAndGroup()
    {
        FfMenu menu;
        menu.show();
        auto* column = menu.findChild<QVBoxLayout*>("buttonLayout");
        auto* group = menu.findChild<QButtonGroup*>();
        QVERIFY(group);
        QVERIFY(group->exclusive());

        auto* header = new QFrame;
        menu.addFrame(header);
        QList<QAbstractButton*> buttons;
        for (int i = 0; i < 3; ++i) {
            auto* b = new QRadioButton(QString("b%1").arg(i));
            b->setCheckable(true);
            buttons << b;
        }
        menu.addButton(buttons[0]);
        menu.addButtons({buttons[1], buttons[2]});
        menu.addButton(nullptr);
        QCOMPARE(column->count(), 5);
        QCOMPARE(column->indexOf(header), 1);
        QCOMPARE(column->indexOf(buttons[2]), 4);
        QCOMPARE(group->buttons().size(), 3);

        QSignalSpy clicked(&menu, &FfMenu::buttonClicked);
        QTest::mouseClick(buttons[1], Qt::LeftButton);
        QTest::mouseClick(buttons[2], Qt::LeftButton);
        QCOMPARE(clicked.size(), 2);
        QCOMPARE(clicked.at(1).at(0).value<QAbstractButton*>(), buttons[2]);
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>({buttons[2]}));

        menu.clearButtonChecked();
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>());
        QVERIFY(group->exclusive());
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>({buttons[0]}));
        menu.clearButtonChecked();
        menu.clearButtonChecked(); // nothing checked: nothing to do

        QPointer<QAbstractButton> removed = buttons[1];
        menu.removeButton(buttons[1]);
        QVERIFY(!removed);
        QCOMPARE(group->buttons().size(), 2);
        QCOMPARE(column->count(), 4);
        menu.removeButton(nullptr);
        QPointer<QFrame> frame = header;
        menu.removeFrame(header);
        QVERIFY(!frame);
        QCOMPARE(column->count(), 3);
        menu.removeFrame(nullptr);
    }

    void presetLookups()
    {
        PersetMenu* presets = PersetMenu::instance();
        QCOMPARE(presets->getChooseWhat("Video Recorder"), 1);
        QCOMPARE(presets->getChooseWhat("Audio Recorder"), 2);
        QCOMPARE(presets->getChooseWhat("Window Recorder"), 3);
        QCOMPARE(presets->getChooseWhat("Webcam Recorder"), 4);
        QCOMPARE(presets->getChooseWhat("Screen Recorder"), 0);
        QCOMPARE(presets->getChooseWhat(QString()), 0);
        QCOMPARE(presets->getChooseWhat("window recorder"), 0);
        QCOMPARE(presets->getButtonByName("Default"), nullptr);
        QCOMPARE(presets->getButtonByName("Window Recorder")->text(), QString("Window Recorder"));

        // A preset added later follows from 5 and is found by its shown text.
        QString name = QString("My preset with a rather long name for a narrow menu");
        presets->addPreserMenuAction(name);
        FfMenu* frame = presets->getPersetMenu();
        QAbstractButton* added = frame->findChildren<QAbstractButton*>("btnMenuPreset").last();
        QCOMPARE(added->toolTip(), name);
        QVERIFY(added->isCheckable());
        QVERIFY(added->text() != name);
        QVERIFY(added->text().endsWith(QChar(0x2026)));
        QCOMPARE(presets->getChooseWhat(added->text()), 5);
        QCOMPARE(presets->getChooseWhat(name), 0);
        QCOMPARE(presets->getButtonByName(added->text()), added);
    }

    // One preset stays checked; the webcam button fires without taking the
    // check; after clearing, a click checks exactly one again.
    void presetChecks()
    {
        PersetMenu* presets = PersetMenu::instance();
        FfMenu* frame = presets->getPersetMenu();
        frame->show();
        const QList<QAbstractButton*> buttons = presetButtons();
        QSignalSpy clicked(frame, &FfMenu::buttonClicked);

        presets->getButtonByName("Video Recorder")->setChecked(true);
        QTest::mouseClick(buttons[2], Qt::LeftButton);
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>({buttons[2]}));
        QTest::mouseClick(buttons[3], Qt::LeftButton);
        QCOMPARE(clicked.size(), 2);
        QCOMPARE(clicked.last().at(0).value<QAbstractButton*>(), buttons[3]);
        QCOMPARE(presets->getChooseWhat(clicked.last().at(0).value<QAbstractButton*>()->text()), 4);
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>({buttons[2]}));

        presets->clearCheckButton();
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>());
        QTest::mouseClick(buttons[1], Qt::LeftButton);
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>({buttons[1]}));
        QTest::mouseClick(buttons[0], Qt::LeftButton);
        QCOMPARE(checkedOf(buttons), QList<QAbstractButton*>({buttons[0]}));
    }

    // Lookups by the new texts work once changeLanguage() ran; the frame's
    // own "Manage" follows the language by itself.
    void presetLanguage()
    {
        PersetMenu* presets = PersetMenu::instance();
        FfMenu* frame = presets->getPersetMenu();
        MarkingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        QCoreApplication::processEvents();
        QCOMPARE(frame->findChild<QToolButton*>("btnManager")->text(), QString("~Manage"));

        QCOMPARE(presets->getChooseWhat("~Window Recorder"), 0);
        presets->changeLanguage();
        QCOMPARE(presets->getChooseWhat("~Window Recorder"), 3);
        QCOMPARE(presets->getChooseWhat("Window Recorder"), 0);
        QCOMPARE(presets->getButtonByName("~Webcam Recorder")->toolTip(), QString("~Webcam Recorder"));
        QCOMPARE(frame->findChild<QLabel*>("lblMenuGroupName")->text(), QString("~Default"));

        QCoreApplication::removeTranslator(&translator);
        QCoreApplication::processEvents();
        presets->changeLanguage();
        QCOMPARE(presets->getChooseWhat("Window Recorder"), 3);
        QCOMPARE(frame->findChild<QToolButton*>("btnManager")->text(), QString("Manage"));
    }

    // Two menus hold the action: each shows the one frame when it opens,
    // and a menu that goes away leaves the frame, its buttons and its
    // connections to the other.
    void twoMenus()
    {
        PersetMenu* presets = PersetMenu::instance();
        QPointer<FfMenu> frame = presets->getPersetMenu();
        QSignalSpy clicked(frame.data(), &FfMenu::buttonClicked);
        auto* first = new QMenu;
        auto* second = new QMenu;
        first->addAction(presets);
        second->addAction(presets);

        first->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(first));
        QVERIFY(isInside(frame, first));
        QVERIFY(frame->isVisible());
        QVERIFY(first->sizeHint().height() >= frame->sizeHint().height());
        first->hide();

        second->popup(QPoint(20, 20));
        QVERIFY(QTest::qWaitForWindowExposed(second));
        QVERIFY(isInside(frame, second));
        QVERIFY(frame->isVisible());
        QTest::mouseClick(presets->getButtonByName("Audio Recorder"), Qt::LeftButton);
        QCOMPARE(clicked.size(), 1);
        second->hide();

        // The menu that holds the frame goes: the frame stays.
        delete second;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame);
        QCOMPARE(presets->getPersetMenu(), frame.data());
        QVERIFY(!frame->parent());
        QCOMPARE(presets->getChooseWhat("Audio Recorder"), 2);

        first->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(first));
        QVERIFY(isInside(frame, first));
        QVERIFY(frame->isVisible());
        QTest::mouseClick(presets->getButtonByName("Window Recorder"), Qt::LeftButton);
        QCOMPARE(clicked.size(), 2);
        QCOMPARE(presets->getButtonByName("Window Recorder")->isChecked(), true);
        first->hide();

        // Taking the action out of a menu hands the frame back as well.
        first->removeAction(presets);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame);
        QVERIFY(!frame->parent());
        first->addAction(presets);
        first->popup(QPoint(10, 10));
        QVERIFY(QTest::qWaitForWindowExposed(first));
        QVERIFY(isInside(frame, first));
        first->hide();
        delete first;
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(frame);
        QVERIFY(!frame->parent());

        // Release ends the frame too.
        PersetMenu::release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frame);
    }

    // Released while a menu still holds it: the menu forgets the action.
    void releaseWhileInMenu()
    {
        QPointer<FfMenu> frame = PersetMenu::instance()->getPersetMenu();
        QMenu menu;
        menu.addAction(PersetMenu::instance());
        menu.popup(QPoint(0, 0));
        QVERIFY(QTest::qWaitForWindowExposed(&menu));
        menu.hide();
        PersetMenu::release();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!frame);
        QVERIFY(menu.actions().isEmpty());
        menu.popup(QPoint(0, 0));
        menu.hide();

        // A new instance starts afresh.
        QVERIFY(PersetMenu::instance()->getPersetMenu());
        QCOMPARE(PersetMenu::instance()->getChooseWhat("Video Recorder"), 1);
    }
};

QTEST_MAIN(TestPresets)
#include "tst_presets.moc"
