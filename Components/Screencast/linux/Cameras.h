#pragma once

// Cameras are V4L2 nodes (video0, video1, ...) in the device folder that can
// capture video. Metadata and output nodes of the same device are left out.

#include <string>
#include <vector>

namespace sc {

struct Camera {
    std::string name;       // the driver's card name, made unique in the list
    std::string path;       // the node; also the camera's unique id
};

// The cameras, in node order. Opens each node briefly.
std::vector<Camera> listCameras();

// The folder that holds the nodes: /dev, unless a test chose another one
// (before the engine starts) with setCameraDirectoryForTests.
std::string cameraDirectory();
void setCameraDirectoryForTests(const std::string& folder);

// "video" followed by digits only.
bool isCameraNodeName(const char* name);

} // namespace sc
