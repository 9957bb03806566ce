#include "core/Pipeline.h"

#include <ctime>

namespace sc {
namespace rec {

int64_t nowUs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

} // namespace rec
} // namespace sc
