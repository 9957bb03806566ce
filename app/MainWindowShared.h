#pragma once

// Small things the home window's source files share; not for use outside
// app/MainWindow*.cpp.

#include <QString>

#include "platform/framework/VxProductInfo.h"

namespace homewindow {

inline const char* logModule()
{
    return "MainWindow";
}

// Where the last region the user chose is kept between runs.
inline const char* videoRectKey()
{
    return "VideoLast/VideoRect";
}

inline QString productName()
{
    return VxProductInfo::instance()->productName("");
}

} // namespace homewindow
