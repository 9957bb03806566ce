// The executable only finds the module beside itself and hands it the
// command line; everything else lives in the module.
#include <dlfcn.h>
#include <libgen.h>
#include <limits.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string executableDir()
{
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
    if (n <= 0)
        return ".";
    buf[n] = '\0';
    return dirname(buf);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string path = executableDir() + "/libScreenRecorder.so";
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        std::fprintf(stderr, "cannot load %s: %s\n", path.c_str(), dlerror());
        return 1;
    }
    using EntryFn = int (*)(int, char**);
    auto entry = reinterpret_cast<EntryFn>(dlsym(module, "main_entry"));
    if (!entry) {
        std::fprintf(stderr, "main_entry missing in %s\n", path.c_str());
        return 1;
    }
    // The module is not unloaded: Qt and the engine may still own threads
    // and atexit handlers that point into it.
    return entry(argc, argv);
}
