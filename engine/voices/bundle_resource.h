#pragma once
// Where the application bundle's resources are: the folder named by the
// environment variable IGB_BUNDLE_DIR when it is set and not empty, else the
// folder "bundle" next to the running executable.
//
// Thread-safe (reads the environment and /proc/self/exe). Not real-time-safe:
// it allocates and touches the file system.

#include <string>
#include <string_view>

// The bundle folder, as described above; `bundleDir` when it is not empty.
std::string bundleDirectory(std::string_view bundleDir = {});

// <bundle>/<name>.<type>; the file need not exist.
std::string bundleResourcePath(std::string_view name, std::string_view type, std::string_view bundleDir = {});
