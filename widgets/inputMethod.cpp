#include "widgets/inputMethod.h"

#include "Screencast.h"
#include "platform/log/Log.h"

bool inputMethod::currentInputMethodIsABC()
{
    const int latin = scInputSourceIsLatin();
    Log("inputMethed", 1, "Current input method is Latin: %d", latin);
    return latin != 0;
}

void inputMethod::setInputMethodABC()
{
    if (scSelectLatinInputSource() != 0)
        Log("inputMethed", 2, "No Latin input method to switch to");
}
