#include "widgets/CustomKeySequenceEdit.h"

#include <QKeyEvent>
#include <QMessageBox>

#include "core/Utils.h"
#include "widgets/inputMethod.h"

CustomKeySequenceEdit::CustomKeySequenceEdit(QWidget* parent) : QKeySequenceEdit(parent) {}

void CustomKeySequenceEdit::keyPressEvent(QKeyEvent* event)
{
    if (!inputMethod::currentInputMethodIsABC()) {
        const int answer = Utils::showMacWindowMessage(
            MsgType_Information, this,
            tr("The current input method doesn't support shortcut keys. Please click \"OK\" "
               "button to switch to system default input method."),
            MsgButton_OkCancel);
        if (answer != QMessageBox::Ok)
            return;
        inputMethod::setInputMethodABC();
    }
    if (event->key() == Qt::Key_Backspace) {
        clear();
        return;
    }

    QKeySequenceEdit::keyPressEvent(event);
    const QString chord =
        keySequence().toString(QKeySequence::PortableText).split(QStringLiteral(", ")).value(0);
    if (chord.startsWith(QLatin1String("Alt+")) || !chord.contains(QLatin1Char('+'))) {
        setKeySequence(QKeySequence());
    } else if (keySequence().count() > 1) {
        // Setting back an unchanged chord would restart the recording, and
        // the next key would then replace it instead of being dropped.
        setKeySequence(QKeySequence(chord, QKeySequence::PortableText));
    }
    emit editFinished();
}

void CustomKeySequenceEdit::keyReleaseEvent(QKeyEvent* event)
{
    QKeySequenceEdit::keyReleaseEvent(event);
}

void CustomKeySequenceEdit::timerEvent(QTimerEvent* event)
{
    QKeySequenceEdit::timerEvent(event);
}

bool CustomKeySequenceEdit::eventFilter(QObject* watched, QEvent* event)
{
    return QObject::eventFilter(watched, event);
}

void CustomKeySequenceEdit::mouseDoubleClickEvent(QMouseEvent* event)
{
    event->ignore();
}
