#include "tests/support/ModalDriver.h"

#include "platform/framework/VxMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

static qint64 nowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// Set while forceClose answers the question of the window it closes: that
// question is part of the closing, not a modal of the test's.
static int s_forcing = 0;

ModalDriver::ModalDriver(int timeoutMs, QObject* parent) : QObject(parent), m_timeoutMs(timeoutMs)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start();
}

void ModalDriver::expect(const Action& action, const QString& objectName) { m_steps.enqueue({action, objectName}); }

void ModalDriver::clickButton(int standardButton, const QString& objectName)
{
    expect(
        [this, standardButton](QWidget* modal) {
            QAbstractButton* button = nullptr;
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                button = box->button(QMessageBox::StandardButton(standardButton));
            const auto boxes = modal->findChildren<QDialogButtonBox*>();
            for (int i = 0; !button && i < boxes.size(); ++i)
                button = boxes.at(i)->button(QDialogButtonBox::StandardButton(standardButton));
            if (button)
                return button->click();
            m_failures << QStringLiteral("no button 0x%1 in %2").arg(standardButton, 0, 16).arg(describe(modal).className);
            forceClose(modal);
        },
        objectName);
}

void ModalDriver::pressKey(int key, const QString& objectName)
{
    expect(
        [key](QWidget* modal) {
            QWidget* target = modal->focusWidget() ? modal->focusWidget() : modal;
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(target, &press);
            QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
            if (modal->isVisible())
                QApplication::sendEvent(target, &release);
        },
        objectName);
}

void ModalDriver::rejectDialog(const QString& objectName) { expect(&ModalDriver::forceClose, objectName); }

bool ModalDriver::waitFinished(int timeoutMs)
{
    return QTest::qWaitFor([this] { return m_steps.isEmpty() && !QApplication::activeModalWidget(); }, timeoutMs);
}

ModalDriver::Seen ModalDriver::describe(QWidget* modal)
{
    Seen seen{QString::fromLatin1(modal->metaObject()->className()), modal->windowTitle(), QString()};
    if (auto* box = qobject_cast<QMessageBox*>(modal))
        seen.text = box->text();
    else if (auto* label = modal->findChild<QLabel*>(QStringLiteral("lblMsgInfo")))
        seen.text = label->text();
    return seen;
}

void ModalDriver::forceClose(QWidget* modal)
{
    // Forcing means leaving: a window that asks first (a preview asks
    // whether its recording may go) is told yes, from inside a question
    // that runs its own loop, or at once to one that leaves its caller.
    const QPointer<QWidget> target(modal);
    auto sayYes = [target] {
        auto* box = qobject_cast<VxMessageBox*>(QApplication::activeModalWidget());
        if (target && box && box != target && box->button(QMessageBox::Yes))
            box->button(QMessageBox::Yes)->click();
    };
    QTimer agree;
    agree.setInterval(10);
    QObject::connect(&agree, &QTimer::timeout, sayYes);
    agree.start();
    ++s_forcing;
    if (auto* dialog = qobject_cast<QDialog*>(modal))
        dialog->reject();
    sayYes();
    if (target && target->isVisible())
        target->close();
    --s_forcing;
}

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (s_forcing)
        return;
    if (!modal) {
        m_current.clear();
        return;
    }
    if (modal == m_current) {
        if (!m_currentDone)
            return;
        if (!m_steps.isEmpty() && fits(m_steps.head(), modal)) {
            dispatch(modal);
        } else if (nowMs() - m_currentSince > m_timeoutMs) {
            m_failures << QStringLiteral("modal %1 still open after its steps").arg(describe(modal).className);
            forceClose(modal);
            m_currentSince = nowMs();
        }
        return;
    }

    m_current = modal;
    m_currentSince = nowMs();
    m_currentDone = true;
    const Seen seen = describe(modal);
    m_seen << seen;
    if (m_steps.isEmpty()) {
        m_failures << QStringLiteral("unexpected modal %1 \"%2\": %3").arg(seen.className, seen.title, seen.text);
        forceClose(modal);
        return;
    }
    dispatch(modal);
}

bool ModalDriver::fits(const Step& step, QWidget* modal)
{
    return step.objectName.isEmpty() || step.objectName == modal->objectName()
           || step.objectName == QLatin1String(modal->metaObject()->className());
}

void ModalDriver::dispatch(QWidget* modal)
{
    const Step step = m_steps.dequeue();
    if (!fits(step, modal)) {
        m_failures << QStringLiteral("expected modal %1, got %2 (%3)")
                          .arg(step.objectName, modal->objectName(), describe(modal).className);
        forceClose(modal);
        return;
    }
    const int sequence = ++m_currentStep;
    m_currentDone = false;
    m_currentSince = nowMs();
    // Queued: a step that opens a nested modal must not block this poll.
    QPointer<QWidget> target(modal);
    QMetaObject::invokeMethod(
        this,
        [this, target, sequence, action = step.action] {
            if (target)
                action(target);
            if (sequence == m_currentStep) {
                m_currentDone = true;
                m_currentSince = nowMs();
            }
        },
        Qt::QueuedConnection);
}
