// The capture modes a camera offers, and the one it is opened in.
#include "cam/CameraInput.h"

#include "cam/Cameras.h"

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

// Lower is better: the size first (its distance from the wanted one), then
// the rate; MJPEG wins a tie, as it leaves the USB bus room for the larger
// sizes.
long score(int dWidth, int dHeight, int fps, bool mjpeg)
{
    const long size = std::labs(long(dWidth)) + std::labs(long(dHeight));
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

void addSize(int fd, uint32_t format, int width, int height, std::vector<V4l2Mode>& modes)
{
    V4l2Mode mode;
    mode.inputFormat = format == V4L2_PIX_FMT_MJPEG ? "mjpeg" : "yuyv422";
    mode.width = width;
    mode.height = height;
    mode.fps = nearestFps(fd, format, width, height);
    modes.push_back(mode);
}

void addSizes(int fd, uint32_t format, std::vector<V4l2Mode>& modes)
{
    v4l2_frmsizeenum size;
    std::memset(&size, 0, sizeof size);
    size.pixel_format = format;
    for (size.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FRAMESIZES, &size) == 0; ++size.index) {
        if (size.type == V4L2_FRMSIZE_TYPE_DISCRETE) {
            addSize(fd, format, int(size.discrete.width), int(size.discrete.height), modes);
            continue;
        }
        // A range of sizes: the usual one, kept inside it and on its steps,
        // and the largest.
        const v4l2_frmsize_stepwise& r = size.stepwise;
        auto fit = [](int want, uint32_t lo, uint32_t hi, uint32_t step) {
            const int v = std::clamp<int>(want, int(lo), int(hi));
            return step > 1 ? int(lo) + (v - int(lo)) / int(step) * int(step) : v;
        };
        addSize(fd, format, fit(kWantWidth, r.min_width, r.max_width, r.step_width),
                fit(kWantHeight, r.min_height, r.max_height, r.step_height), modes);
        addSize(fd, format, fit(int(r.max_width), r.min_width, r.max_width, r.step_width),
                fit(int(r.max_height), r.min_height, r.max_height, r.step_height), modes);
        break;
    }
}

} // namespace

std::vector<V4l2Mode> v4l2Modes(const std::string& node)
{
    std::vector<V4l2Mode> modes;
    const int fd = open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return modes;
    v4l2_fmtdesc desc;
    std::memset(&desc, 0, sizeof desc);
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    for (desc.index = 0; v4l2Ioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0; ++desc.index) {
        if (desc.pixelformat == V4L2_PIX_FMT_MJPEG || desc.pixelformat == V4L2_PIX_FMT_YUYV)
            addSizes(fd, desc.pixelformat, modes);
    }
    close(fd);
    return modes;
}

bool chooseV4l2Mode(const std::vector<V4l2Mode>& modes, int width, int height, V4l2Mode& mode)
{
    const bool usual = width <= 0 || height <= 0;
    long bestScore = -1;
    for (const V4l2Mode& m : modes) {
        const long s = score(m.width - (usual ? kWantWidth : width), m.height - (usual ? kWantHeight : height),
                             m.fps, m.inputFormat == "mjpeg");
        if (bestScore < 0 || s < bestScore) {
            bestScore = s;
            mode = m;
        }
    }
    return bestScore >= 0;
}

std::vector<V4l2Mode> v4l2Sizes(const std::vector<V4l2Mode>& modes)
{
    std::vector<V4l2Mode> sizes;
    for (const V4l2Mode& m : modes) {
        const bool known = std::any_of(sizes.begin(), sizes.end(), [&m](const V4l2Mode& s) {
            return s.width == m.width && s.height == m.height;
        });
        V4l2Mode best;
        if (!known && chooseV4l2Mode(modes, m.width, m.height, best))
            sizes.push_back(best);
    }
    std::stable_sort(sizes.begin(), sizes.end(), [](const V4l2Mode& a, const V4l2Mode& b) {
        return long(a.width) * a.height > long(b.width) * b.height;
    });
    return sizes;
}

std::vector<V4l2Mode> cameraModes(const std::string& deviceId)
{
    if (testCameraSource(deviceId).empty())
        return v4l2Sizes(v4l2Modes(deviceId));
    CameraInput input;
    std::string error;
    if (!input.open(deviceId, error))
        return {};
    V4l2Mode own;
    own.width = input.size().width();
    own.height = input.size().height();
    own.fps = input.fps();
    return {own};
}

} // namespace cam
} // namespace sc
