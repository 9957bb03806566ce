#pragma once

#include <QPointer>
#include <QQueue>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers modal dialogs by running queued steps against the active modal; one without a step,
// of the wrong name or still open after its step is a failure and closed, so exec() never hangs.
class ModalDriver : public QObject
{
    Q_OBJECT
public:
    using Action = std::function<void(QWidget* modal)>;

    struct Seen
    {
        QString className;
        QString title;
        QString text; // a QMessageBox's text or the label "lblMsgInfo"
    };

    // The bounds are generous: on a busy machine a window is slow, not missing.
    explicit ModalDriver(int timeoutMs = 30000, QObject* parent = nullptr);

    // Queues a step for the next modal; with objectName set (an object or a
    // class name), a modal of another name is a failure, and a named step
    // waits for its modal rather than going to the one still open.
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
    bool waitFinished(int timeoutMs = 30000);

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
    static bool fits(const Step& step, QWidget* modal);

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

// Fails on whatever went wrong in any step.
#define VERIFY_DRIVER(driver) QVERIFY2((driver).failures().isEmpty(), qPrintable((driver).failures().join("\n")))
// Waits for the driver to run out of steps, then the same.
#define DRIVER_DONE(driver, timeoutMs)         \
    QVERIFY((driver).waitFinished(timeoutMs)); \
    VERIFY_DRIVER(driver)
