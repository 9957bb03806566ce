#include "widgets/inputMethod.h"

#include <QByteArray>

#include "Screencast.h"
#include "platform/log/Log.h"

bool inputMethod::currentInputMethodIsABC()
{
    const int latin = scInputSourceIsLatin();
    const char* description = latin > 0 ? "Latin layout" : latin == 0 ? "other layout" : "unknown layout";
    Log("inputMethed", LogLevel::Info, "Current input methoed : %s, local : %d, length : %d", description, latin,
        int(qstrlen(description)));
    return latin != 0;
}

void inputMethod::setInputMethodABC()
{
    if (scSelectLatinInputSource() != 0)
        Log("inputMethed", LogLevel::Error, "No Latin input method to switch to");
}
