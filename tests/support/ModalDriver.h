#pragma once

#include <QObject>
#include <QPointer>
#include <QQueue>
#include <QStringList>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <functional>

// Answers modal dialogs in tests. It polls QApplication::activeModalWidget()
// and runs the queued steps in order against the active modal: a modal that
// becomes active (again, after a nested modal on top of it closed) takes the
// next step, and a step that leaves its modal open hands it to the next step
// once it has returned. A modal with no step left, a modal of the wrong name,
// or a modal still open a time-out after its last step is recorded as a
// failure and closed, so a test never hangs on exec(). Steps run queued, from
// the event loop, so a step may itself open a nested modal.
//
//     ModalDriver driver;
//     driver.clickButton(QMessageBox::Yes);
//     const int answer = VxMessageBox::question(...);
//     QVERIFY2(driver.failures().isEmpty(), qPrintable(driver.failures().join("\n")));
class ModalDriver : public QObject
{
    Q_OBJECT
public:
    using Action = std::function<void(QWidget* modal)>;

    // What the driver saw of each modal it handled.
    struct Seen
    {
        QString objectName;
        QString className;
        QString title;
        QString text; // a QMessageBox's text or the label "lblMsgInfo"
    };

    explicit ModalDriver(int timeoutMs = 5000, QObject* parent = nullptr);
    ~ModalDriver() override;

    // Queues a step for the next modal; with objectName set, a modal of
    // another name is a failure.
    void expect(const Action& action, const QString& objectName = QString());
    // Clicks the standard button (QMessageBox/QDialogButtonBox value) of the
    // modal's button box.
    void clickButton(int standardButton, const QString& objectName = QString());
    void pressKey(int key, const QString& objectName = QString());
    void rejectDialog(const QString& objectName = QString());

    int pendingSteps() const { return m_steps.size(); }
    QStringList failures() const { return m_failures; }
    QVector<Seen> seen() const { return m_seen; }
    // Runs the event loop until every step ran and no modal is active, or
    // until timeoutMs passed; true when finished.
    bool waitFinished(int timeoutMs = 5000);

    static Seen describe(QWidget* modal);
    // Closes a modal whatever it is (a dialog is rejected).
    static void forceClose(QWidget* modal);

private:
    struct Step
    {
        Action action;
        QString objectName;
    };

    void poll();
    void dispatch(QWidget* modal);

    QTimer m_timer;
    int m_timeoutMs;
    QQueue<Step> m_steps;
    QPointer<QWidget> m_current;
    qint64 m_currentSince = 0;
    int m_currentStep = 0;      // sequence number of the last step dispatched
    bool m_currentDone = true;  // that step has returned
    QStringList m_failures;
    QVector<Seen> m_seen;
};
