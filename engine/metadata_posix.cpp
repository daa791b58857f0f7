#include "engine/metadata_posix.h"

#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/util_posix.h"

namespace qrv3 {
namespace {

// The access list as Linux keeps it: an extended attribute the kernel reads and checks.
constexpr const char* kAccessList = "system.posix_acl_access";

struct Fixed {
  mode_t mode;
  uid_t uid;
  gid_t gid;
};

// A file system without owners, permission bits or access lists (FAT, a Windows share) refuses
// to keep them: that is no reason to keep the old database.
bool NotKeptHere(int err) { return err == EPERM || err == EINVAL || err == ENOTSUP; }
bool NoAccessList(int err) { return err == ENODATA || err == ENOTSUP; }

// The access list of `fd` after `*bytes`, nothing when it has none.
Status AppendAccessList(int fd, const std::string& what, std::vector<uint8_t>* bytes) {
  const size_t at = bytes->size();
  do {  // again while the list changes between asking its size and reading it
    const ssize_t size = ::fgetxattr(fd, kAccessList, nullptr, 0);
    if (size < 0) break;
    bytes->resize(at + static_cast<size_t>(size));
    const ssize_t got = ::fgetxattr(fd, kAccessList, bytes->data() + at, static_cast<size_t>(size));
    bytes->resize(at + static_cast<size_t>(std::max<ssize_t>(got, 0)));
    if (got >= 0) return Status::Ok();
  } while (errno == ERANGE);
  if (NoAccessList(errno)) return Status::Ok();
  return StatusFromErrno(errno, "read the access list of " + what);
}

}  // namespace

Status ReadMetadata(int fd, const std::string& what, FileMetadata* metadata) {
  struct stat st;
  if (::fstat(fd, &st) != 0) return StatusFromErrno(errno, "stat " + what);
  const Fixed m{st.st_mode, st.st_uid, st.st_gid};
  metadata->bytes.resize(sizeof m);
  std::memcpy(metadata->bytes.data(), &m, sizeof m);
  return AppendAccessList(fd, what, &metadata->bytes);
}

Status ApplyMetadata(int fd, const std::string& what, const FileMetadata& model) {
  Fixed m;
  if (model.bytes.size() < sizeof m) {
    return Status::Error(Status::Code::kInvalidPath, "no metadata for " + what);
  }
  std::memcpy(&m, model.bytes.data(), sizeof m);
  // Owner first: changing it clears the set-id bits, which a data file has no use for anyway.
  // Root gives the file the old owner and group. Anyone else keeps the group where they may (as
  // one of its members); where not, the file stays of the group it was made with (theirs, or a
  // set-group-ID folder's), which must not get what the old group could do: the group's bits
  // go, and the access list with its entries for the owning group and for other users and
  // groups by name, which those bits bound.
  const bool root = ::geteuid() == 0;
  bool same_group = true;
  if (::fchown(fd, root ? m.uid : static_cast<uid_t>(-1), m.gid) != 0) {
    if (!NotKeptHere(errno)) return StatusFromErrno(errno, "chown " + what);
    same_group = root;  // a file system without owners has none to hand over
  }
  const uint8_t* list = model.bytes.data() + sizeof m;
  const size_t list_size = same_group ? model.bytes.size() - sizeof m : 0;
  const mode_t mode = m.mode & (same_group ? S_IRWXU | S_IRWXG | S_IRWXO : S_IRWXU | S_IRWXO);
  const int set = list_size > 0 ? ::fsetxattr(fd, kAccessList, list, list_size, 0)
                                : ::fremovexattr(fd, kAccessList);
  if (set != 0 && !NotKeptHere(errno) && errno != ENODATA) {  // ENODATA: no list to remove
    return StatusFromErrno(errno, "set the access list of " + what);
  }
  // With an access list the group bits are its mask, which the old file's mode holds too.
  if (::fchmod(fd, mode) != 0 && !NotKeptHere(errno)) {
    return StatusFromErrno(errno, "chmod " + what);
  }
  return Status::Ok();
}

}  // namespace qrv3
