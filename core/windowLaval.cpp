#include "windowLaval.h"

#include <QMainWindow>

#include "Utils.h"

void windowLaval::setTopMost(QMainWindow* w)
{
    Utils::setTopWindowLevel(w);
}
