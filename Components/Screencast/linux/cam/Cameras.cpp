#include "cam/Cameras.h"

#include "core/EngineCore.h"

#include "platform/log/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sc {

namespace {

std::mutex g_folderMutex;
std::string g_folder = "/dev";

int nodeNumber(const std::string& name) { return std::atoi(name.c_str() + 5); }

int openNode(const std::string& path)
{
    return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
}

// The node names in the folder, in node order.
std::vector<std::string> cameraNodes(const std::string& folder)
{
    std::vector<std::string> nodes;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            if (isCameraNodeName(entry->d_name))
                nodes.emplace_back(entry->d_name);
        }
        closedir(dir);
    }
    std::sort(nodes.begin(), nodes.end(),
              [](const std::string& a, const std::string& b) { return nodeNumber(a) < nodeNumber(b); });
    return nodes;
}

// The card name of a node that captures video; false for anything else
// (not a character device, no V4L2 driver, a metadata or output node).
bool queryCamera(const std::string& path, std::string& card)
{
    const int fd = openNode(path);
    if (fd < 0)
        return false;
    bool ok = false;
    struct stat st;
    if (fstat(fd, &st) == 0 && S_ISCHR(st.st_mode)) {
        v4l2_capability cap;
        std::memset(&cap, 0, sizeof cap);
        if (v4l2Ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0) {
            // A device with several nodes describes each node in device_caps.
            const uint32_t caps = (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
            if (caps & V4L2_CAP_VIDEO_CAPTURE) {
                const char* text = reinterpret_cast<const char*>(cap.card);
                card = validUtf8(std::string(text, strnlen(text, sizeof cap.card)));
                ok = true;
            }
        }
    }
    close(fd);
    return ok;
}

} // namespace

int v4l2Ioctl(int fd, unsigned long request, void* arg)
{
    int r;
    do {
        r = ioctl(fd, request, arg);
    } while (r < 0 && errno == EINTR);
    return r;
}

bool isCameraNodeName(const char* name)
{
    if (std::strncmp(name, "video", 5) != 0 || name[5] == '\0')
        return false;
    for (const char* p = name + 5; *p; ++p) {
        if (*p < '0' || *p > '9')
            return false;
    }
    return true;
}

std::string cameraDirectory()
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    return g_folder;
}

void setCameraDirectoryForTests(const std::string& folder)
{
    std::lock_guard<std::mutex> lock(g_folderMutex);
    g_folder = folder.empty() ? std::string("/dev") : folder;
}

namespace {

// The test cameras, in the order SR_TEST_CAMERA names them.
std::vector<std::pair<Camera, std::string>> testCameras()
{
    std::vector<std::pair<Camera, std::string>> cameras;
    const char* variable = std::getenv("SR_TEST_CAMERA");
    std::string rest = variable ? variable : "";
    while (!rest.empty()) {
        const std::size_t end = rest.find(';');
        const std::string source = rest.substr(0, end);
        rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
        if (source.empty())
            continue;
        const std::string n = cameras.empty() ? std::string() : std::to_string(cameras.size() + 1);
        Camera camera{kTestCameraName + (n.empty() ? n : " " + n), kTestCameraId + (n.empty() ? n : "-" + n)};
        cameras.emplace_back(std::move(camera), source);
    }
    return cameras;
}

} // namespace

std::string testCameraSource(const std::string& id)
{
    for (const auto& camera : testCameras()) {
        if (camera.first.path == id)
            return camera.second;
    }
    return std::string();
}

std::vector<Camera> listCameras()
{
    const std::string folder = cameraDirectory();
    const std::vector<std::string> nodes = cameraNodes(folder);

    std::vector<Camera> cameras;
    std::map<std::string, int> seen;
    for (const std::string& node : nodes) {
        Camera camera;
        camera.path = folder + "/" + node;
        if (!queryCamera(camera.path, camera.name))
            continue;
        if (camera.name.empty())
            camera.name = node;
        // The module finds a camera by its name: two cameras of the same
        // model must not share one.
        const int n = ++seen[camera.name];
        if (n > 1)
            camera.name += " (" + std::to_string(n) + ")";
        cameras.push_back(std::move(camera));
    }
    for (auto& test : testCameras())
        cameras.push_back(std::move(test.first));
    return cameras;
}

int refusedCameraNodes()
{
    const std::string folder = cameraDirectory();
    int refused = 0;
    for (const std::string& node : cameraNodes(folder)) {
        const int fd = openNode(folder + "/" + node);
        if (fd >= 0)
            close(fd);
        else if (errno == EACCES || errno == EPERM)
            ++refused;
    }
    return refused;
}

} // namespace sc
