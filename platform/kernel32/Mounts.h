// Mount points that a tree walk must not enter. On the original system a volume mounted
// on a folder shows in listings as a directory that is a reparse point, and walkers stop
// there; here the places that behave like that are the mount points of pseudo file
// systems (proc, sysfs, tmpfs, ...), of network file systems and of removable media.
// The mounts table is /proc/self/mounts; tests replace it (SLPlatformSetMountsTable).
#pragma once

#include <string>

namespace SLPlatformFile {

// True when the absolute host path (no trailing "/") is such a mount point. The table is
// read again when it is older than a second, so a volume mounted meanwhile is seen.
bool IsForeignMountPoint(const std::string& hostPath);

// The host directory that drive letters stand for ("/" unless a test set another).
std::string DriveRootHost();

}  // namespace SLPlatformFile
