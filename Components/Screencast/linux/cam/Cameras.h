#pragma once

// Cameras are V4L2 nodes (video0, video1, ...) in the device folder that can
// capture video. Metadata and output nodes of the same device are left out.
// Machines without a camera (tests, the README's test environment) get more
// from SR_TEST_CAMERA, one per source it names, separated by ';':
// "lavfi:<graph>" is a libavdevice lavfi graph, anything else a media file
// played in a loop.

#include <string>
#include <vector>

namespace sc {

struct Camera {
    std::string name;       // the driver's card name, made unique in the list
    std::string path;       // the node; also the camera's unique id
};

// The unique id and name of the first camera SR_TEST_CAMERA describes; the
// n-th gets " n" after the name and "-n" after the id.
constexpr const char* kTestCameraId = "test-camera";
constexpr const char* kTestCameraName = "Test Camera";

// The cameras, in node order, the test camera last. Opens each node briefly.
std::vector<Camera> listCameras();

// The nodes this user may not open (EACCES, EPERM): cameras whose device
// files belong to a group the user is not in. They are not in the list.
int refusedCameraNodes();

// The source SR_TEST_CAMERA names for a test camera's id; empty when there
// is none.
std::string testCameraSource(const std::string& id);

// The folder that holds the nodes: /dev, unless a test chose another one
// (before the engine starts) with setCameraDirectoryForTests.
std::string cameraDirectory();
void setCameraDirectoryForTests(const std::string& folder);

// ioctl() again after an interrupting signal.
int v4l2Ioctl(int fd, unsigned long request, void* arg);

// "video" followed by digits only.
bool isCameraNodeName(const char* name);

} // namespace sc
