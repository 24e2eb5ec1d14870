// The mounts table behind the mount-point attribute of listings, and the test switches
// that move the drive root and replace the table.
#include "platform/kernel32/Mounts.h"

#include <fstream>
#include <mutex>
#include <set>
#include <sstream>

#include "platform/kernel32/Modules.h"

namespace SLPlatformFile {
namespace {

// File systems that hold no user files, or whose files live elsewhere: their mount
// points are never walked into.
const char* const kPseudoTypes[] = {
    "proc",      "sysfs",     "devtmpfs",  "devpts",     "tmpfs",    "cgroup",   "cgroup2",  "securityfs",
    "debugfs",   "tracefs",   "pstore",    "bpf",        "mqueue",   "hugetlbfs", "configfs", "fusectl",
    "autofs",    "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",    "ramfs",    "selinuxfs", "devfs",
    // Network file systems.
    "nfs",       "nfs4",      "cifs",      "smbfs",      "smb3",     "9p",       "afs",      "ceph",
    "glusterfs", "davfs",     "ncpfs",     "coda",       "fuse.sshfs", "fuse.rclone", "fuse.s3fs",
    "fuse.gvfsd-fuse", "fuse.davfs2",
    // Optical discs.
    "iso9660",   "udf",
};

bool IsPseudoType(const std::string& type) {
  for (const char* known : kPseudoTypes)
    if (type == known) return true;
  return false;
}

// Mount points in the table are written with octal escapes for blanks and backslashes.
std::string Unescape(const std::string& field) {
  std::string out;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' && field[i + 1] <= '3' &&
        field[i + 2] >= '0' && field[i + 2] <= '7' && field[i + 3] >= '0' && field[i + 3] <= '7') {
      out.push_back(char(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) | (field[i + 3] - '0')));
      i += 3;
    } else {
      out.push_back(field[i]);
    }
  }
  return out;
}

bool ReadFlag(const std::string& path) {
  std::ifstream in(path);
  int value = 0;
  return in >> value && value == 1;
}

// A block device whose disk says it is removable (a USB stick, a card reader).
bool IsRemovableDevice(const std::string& device) {
  if (device.compare(0, 5, "/dev/") != 0) return false;
  std::string name = device.substr(5);
  if (name.empty() || name.find('/') != std::string::npos) return false;
  if (ReadFlag("/sys/block/" + name + "/removable")) return true;
  // A partition: its disk is the name without the partition number ("sdb1" -> "sdb",
  // "mmcblk0p1" -> "mmcblk0").
  size_t end = name.size();
  while (end > 0 && name[end - 1] >= '0' && name[end - 1] <= '9') --end;
  if (end == name.size() || end == 0) return false;
  std::string disk = name.substr(0, end);
  if (disk.size() > 1 && disk.back() == 'p' && disk[disk.size() - 2] >= '0' && disk[disk.size() - 2] <= '9')
    disk.pop_back();
  return ReadFlag("/sys/block/" + disk + "/removable");
}

struct MountState {
  std::mutex lock;
  bool testTable = false;
  std::string tableText;       // the test's table
  std::set<std::string> foreign;
  std::uint64_t readAt = 0;    // monotonic ns of the last read; 0 never
  bool loaded = false;
  std::string driveRoot = "/";
};

MountState& State() {
  static MountState* state = new MountState;  // outlives every static destructor
  return *state;
}

void Parse(const std::string& text, std::set<std::string>* out) {
  out->clear();
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::string device, point, type;
    if (!(fields >> device >> point >> type)) continue;
    point = Unescape(point);
    while (point.size() > 1 && point.back() == '/') point.pop_back();
    if (point == "/") continue;  // the root itself is where walks start
    if (IsPseudoType(type) || IsRemovableDevice(device)) out->insert(point);
  }
}

}  // namespace

bool IsForeignMountPoint(const std::string& hostPath) {
  MountState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  const std::uint64_t now = SLPlatformMonotonicNs();
  if (!s.loaded || (!s.testTable && now - s.readAt > 1000000000ull)) {
    std::string text = s.tableText;
    if (!s.testTable) {
      std::ifstream in("/proc/self/mounts");
      std::ostringstream all;
      all << in.rdbuf();
      text = all.str();
    }
    Parse(text, &s.foreign);
    s.readAt = now;
    s.loaded = true;
  }
  return s.foreign.count(hostPath) != 0;
}

std::string DriveRootHost() {
  MountState& s = State();
  std::lock_guard<std::mutex> hold(s.lock);
  return s.driveRoot;
}

}  // namespace SLPlatformFile

void SLPlatformSetMountsTable(const char* text) {
  SLPlatformFile::MountState& s = SLPlatformFile::State();
  std::lock_guard<std::mutex> hold(s.lock);
  s.testTable = text != nullptr;
  s.tableText = text ? text : "";
  s.loaded = false;
}

void SLPlatformSetDriveRoot(const char* utf8Directory) {
  SLPlatformFile::MountState& s = SLPlatformFile::State();
  std::lock_guard<std::mutex> hold(s.lock);
  std::string root = utf8Directory && *utf8Directory ? utf8Directory : "/";
  if (root.back() != '/') root.push_back('/');
  s.driveRoot = root;
}
