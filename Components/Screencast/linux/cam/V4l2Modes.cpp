// The capture mode a camera is opened in, from what its driver offers.
#include "CameraInput.h"

#include "Cameras.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <unistd.h>

namespace sc {
namespace cam {

namespace {

constexpr int kWantWidth = 1280;
constexpr int kWantHeight = 720;
constexpr int kWantFps = 30;

// Lower is better: the size first, then the rate; MJPEG wins a tie, as it
// leaves the USB bus room for the larger sizes.
long score(int width, int height, int fps, bool mjpeg)
{
    const long size = std::labs(long(width) - kWantWidth) + std::labs(long(height) - kWantHeight);
    return size * 1000 + std::labs(long(fps) - kWantFps) * 10 + (mjpeg ? 0 : 1);
}

// The rate nearest 30 fps the node offers for a size; 30 when it does not say.
int nearestFps(int fd, uint32_t format, int width, int height)
{
    int best = 0;
    v4l2_frmivalenum ival;
    std::memset(&ival, 0, sizeof ival);
    ival.pixel_format = format;
    ival.width = uint32_t(width);
    ival.height = uint32_t(height);
    for (ival.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FRAMEINTERVALS, &ival) == 0; ++ival.index) {
        if (ival.type != V4L2_FRMIVAL_TYPE_DISCRETE) {
            // A range: 30 fps when it lies inside it.
            const v4l2_fract lo = ival.stepwise.min;
            const v4l2_fract hi = ival.stepwise.max;
            const double fastest = lo.numerator ? double(lo.denominator) / lo.numerator : kWantFps;
            const double slowest = hi.numerator ? double(hi.denominator) / hi.numerator : kWantFps;
            return int(std::clamp<double>(kWantFps, std::min(slowest, fastest), std::max(slowest, fastest)));
        }
        if (ival.discrete.numerator == 0)
            continue;
        const int fps = int(ival.discrete.denominator / ival.discrete.numerator);
        if (best == 0 || std::abs(fps - kWantFps) < std::abs(best - kWantFps))
            best = fps;
    }
    return best > 0 ? best : kWantFps;
}

void consider(int fd, uint32_t format, int width, int height, V4l2Mode& mode, long& bestScore)
{
    const bool mjpeg = format == V4L2_PIX_FMT_MJPEG;
    const int fps = nearestFps(fd, format, width, height);
    const long s = score(width, height, fps, mjpeg);
    if (bestScore >= 0 && s >= bestScore)
        return;
    bestScore = s;
    mode.inputFormat = mjpeg ? "mjpeg" : "yuyv422";
    mode.width = width;
    mode.height = height;
    mode.fps = fps;
}

void considerSizes(int fd, uint32_t format, V4l2Mode& mode, long& bestScore)
{
    v4l2_frmsizeenum size;
    std::memset(&size, 0, sizeof size);
    size.pixel_format = format;
    for (size.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            consider(fd, format, int(size.discrete.width), int(size.discrete.height), mode, bestScore);
            continue;
        }
        // A range of sizes: the wanted one, kept inside it and on its steps.
        const v4l2_frmsize_stepwise& r = size.stepwise;
        auto fit = [](int want, uint32_t lo, uint32_t hi, uint32_t step) {
            const int v = std::clamp<int>(want, int(lo), int(hi));
            return step > 1 ? int(lo) + (v - int(lo)) / int(step) * int(step) : v;
        };
        consider(fd, format, fit(kWantWidth, r.min_width, r.max_width, r.step_width),
                 fit(kWantHeight, r.min_height, r.max_height, r.step_height), mode, bestScore);
        break;
    }
}

} // namespace

bool bestV4l2Mode(const std::string& node, V4l2Mode& mode)
{
    const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    long bestScore = -1;
    v4l2_fmtdesc desc;
    std::memset(&desc, 0, sizeof desc);
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (desc.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0; ++desc.index) {
        if (desc.pixelformat == V4L2_PIX_FMT_MJPEG || desc.pixelformat == V4L2_PIX_FMT_YUYV)
            considerSizes(fd, desc.pixelformat, mode, bestScore);
    }
    close(fd);
    return bestScore >= 0;
}

} // namespace cam
} // namespace sc
