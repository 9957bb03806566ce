#include "core/windowLaval.h"

#include <QMainWindow>

#include "core/Utils.h"

void windowLaval::setTopMost(QMainWindow* w)
{
    Utils::setTopWindowLevel(w);
}
