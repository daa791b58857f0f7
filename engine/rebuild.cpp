#include "engine/rebuild.h"

#include <chrono>
#include <memory>
#include <new>
#include <random>
#include <string_view>
#include <vector>

#include "base/names.h"
#include "engine/database_digest.h"
#include "engine/sha256.h"
#include "engine/temporary_name.h"
#include "engine/verify.h"

namespace qrv3 {
namespace {

constexpr std::string_view kDatabaseName = "Database\\P03.pac";
constexpr size_t kDatabaseSeparator = kDatabaseName.rfind('\\');

// The lock file that keeps two runs from replacing one installation's database at once.
constexpr std::string_view kLockName = "P03.pac.lock";

// How long a replace refused for a moment (a virus scanner or indexer that opened the fresh
// file) is tried again before it counts as a failure.
constexpr int kReplaceTries = 10;
constexpr int kReplaceWaitMs = 100;

// The name the rebuild gives the database is the verification's, letter case aside.
static_assert(CompareIgnoringCase(kDatabaseRow.name, kDatabaseName) == 0);

uint64_t FreshRandom() {
  uint64_t r = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  try {
    std::random_device device;
    r ^= (static_cast<uint64_t>(device()) << 32) ^ device();
  } catch (...) {
    // No entropy source: the clock alone still differs between runs, and the name is created
    // exclusively, so a guessed name costs only a retry.
  }
  return r;
}

// Best effort: what cannot be removed now is tried again by the next run.
void RemoveLeftovers(Folder& folder) {
  std::vector<std::string> names;
  if (!folder.List(&names).ok()) return;
  for (const std::string& name : names) {
    if (IsLeftoverName(name)) folder.Remove(name);
  }
}

// The one entry of the folder that is `name`, letter case aside.
Status FindEntry(Folder& folder, std::string_view name, std::string* found) {
  std::vector<std::string> names;
  if (Status s = folder.List(&names); !s.ok()) return s;
  int matches = 0;
  for (std::string& n : names) {
    if (CompareIgnoringCase(n, name) == 0) {
      ++matches;
      *found = std::move(n);
    }
  }
  if (matches == 0) return Status::Error(Status::Code::kNotFound, std::string(name) + " is gone");
  if (matches > 1) {
    return Status::Error(Status::Code::kAmbiguous,
                         std::to_string(matches) + " entries are named " + std::string(name));
  }
  return Status::Ok();
}

// The database under its name as the verification accepted it: a plain, writable file of the
// expected size and time stamp, opened without following a link; with `first`, the very file
// found then. Its description goes to *info.
Status CheckUnchanged(Folder& folder, const std::string& database, const EntryInfo* first,
                      EntryInfo* info, FileMetadata* metadata = nullptr) {
  std::unique_ptr<ReadableFile> file;
  if (Status s = folder.OpenFile(database, &file); !s.ok()) return s;
  if (Status s = file->Info(info); !s.ok()) return s;
  if (info->size != kDatabaseRow.size || FormatStamp(info->stamp) != kDatabaseRow.stamp ||
      (first != nullptr && (info->volume != first->volume || info->index != first->index))) {
    return Status::Error(Status::Code::kChanged, database + " changed since it was checked");
  }
  // A read-only database stays as it is: a rename would pass over the attribute where the
  // system lets it (Wine, or root on POSIX).
  if (info->read_only) return Status::Error(Status::Code::kAccessDenied, database + " is read-only");
  return metadata != nullptr ? file->GetMetadata(metadata) : Status::Ok();
}

Status CreateTemporary(Folder& folder, std::unique_ptr<NewFile>* file, std::string* name) {
  Status s;
  for (int attempt = 0; attempt < 8; ++attempt) {
    *name = TemporaryName(FreshRandom());
    s = folder.CreateNew(*name, file);
    if (s.code() != Status::Code::kExists) return s;
  }
  return s;
}

// Whether the database's name now leads to the new file, asked twice before it counts as unable
// to tell. The rename may have happened, so nothing here may end the run with an exception: no
// memory for the question is no answer.
Status AskIsEntry(NewFile& file, const std::string& database, bool* same) {
  Status seen;
  for (int ask = 0; ask < 2; ++ask) {
    *same = false;
    try {
      seen = file.IsEntry(database, same);
    } catch (...) {
      seen = Status::Error(Status::Code::kNoMemory, "no memory to look at " + database);
    }
    if (seen.ok()) return seen;
  }
  return seen;
}

// Makes the replacement last, best effort: it has happened and cannot be reported as not done.
void SyncAfterReplace(Folder& folder) {
  try {
    folder.Sync();
  } catch (...) {
  }
}

// Puts the new file in the database's place, trying again for a moment while another program
// holds the database. Before each try the database is checked again to be the file the
// verification accepted: between tries another program may have written it, or, where the
// system lets a folder be swapped while it is open (Wine, for a Linux process), the name may
// lead elsewhere.
//
// Whatever the rename reports, the disk decides whether it took place: a failure reported after
// it is no failure, and a success that put another file in the database's place (one swapped in
// under the temporary name by anyone who may write the folder) is none.
Status ReplaceWithRetries(Env& env, Folder& folder, NewFile& file, const std::string& database,
                          const EntryInfo& checked) {
  Status s;
  for (int attempt = 1;; ++attempt) {
    EntryInfo now;
    if (s = CheckUnchanged(folder, database, &checked, &now); !s.ok()) return s;
    s = file.ReplaceInto(database);
    bool same = false;
    const Status seen = AskIsEntry(file, database, &same);
    if (seen.ok() && same) {
      SyncAfterReplace(folder);
      return Status::Ok();
    }
    if (s.ok()) {
      if (!seen.ok()) return seen;
      return Status::Error(Status::Code::kChanged, database + " is not the file that was written");
    }
    const bool momentary =
        s.code() == Status::Code::kInUse || s.code() == Status::Code::kAccessDenied;
    if (!seen.ok() || !momentary || attempt == kReplaceTries) return s;
    env.SleepForMilliseconds(kReplaceWaitMs);
  }
}

// The bytes written are the release's database, or they never take its place.
Status CheckDigest(Sha256& hash, std::string_view expected) {
  Sha256::Digest digest;
  if (Status s = hash.Finish(&digest); !s.ok()) return s;
  const std::string got = HexDigits(digest);
  if (got == expected) return Status::Ok();
  return Status::Error(Status::Code::kMismatch,
                       "they make one of SHA-256 " + got + ", not " + std::string(expected));
}

Status WriteNewDatabase(Env& env, Folder& folder, const std::string& database,
                        DataPieces& pieces, const EntryInfo& checked,
                        const FileMetadata& metadata) {
  // A build that carries the release's digest hashes the bytes on their way to the disk.
  const std::string_view expected = ExpectedDatabaseSha256();
  std::unique_ptr<Sha256> hash;
  Status s = expected.empty() ? Status::Ok() : Sha256::Begin(&hash);
  std::unique_ptr<NewFile> file;
  std::string temp;
  if (s.ok()) s = CreateTemporary(folder, &file, &temp);
  if (s.ok()) {
    s = pieces.Stream([&](const uint8_t* data, size_t n) {
      Status written = file->Append(data, n);
      return written.ok() && hash ? hash->Add(data, n) : written;
    });
  }
  if (s.ok() && hash) s = CheckDigest(*hash, expected);
  // Only after the last append: the old database's owner, who gets the file with it, must not be
  // able to open it while it is written. Before the flush, so that what the file carries is on
  // the disk with its bytes.
  if (s.ok()) s = file->SetMetadata(metadata);
  if (s.ok()) s = file->Sync();
  if (s.ok()) s = ReplaceWithRetries(env, folder, *file, database, checked);
  if (s.ok()) return s;

  if (file && !file->Discard().ok()) folder.Remove(temp);
  file.reset();
  // Whatever a failed call may have left behind under a name of ours goes too.
  RemoveLeftovers(folder);
  return s;
}

// Opens the database's folder and takes the installation's lock: from then until the lock goes,
// no other run touches this database.
Status OpenAndLock(Env& env, const std::function<std::string()>& install_path,
                   std::unique_ptr<Folder>* folder, std::unique_ptr<FolderLock>* lock) {
  const std::string name(kDatabaseName.substr(0, kDatabaseSeparator));
  if (Status s = env.OpenFolder(install_path() + name, folder); !s.ok()) return s;
  return (*folder)->Lock(std::string(kLockName), lock);
}

Status Rebuild(Env& env, const std::function<std::string()>& install_path, DataPieces& pieces) {
  if (Status s = pieces.Open(); !s.ok()) return s;

  std::unique_ptr<Folder> folder;
  std::unique_ptr<FolderLock> lock;
  Status s = OpenAndLock(env, install_path, &folder, &lock);
  if (!s.ok()) return s;
  // What interrupted runs left goes first.
  RemoveLeftovers(*folder);

  std::string database;
  if (s = FindEntry(*folder, kDatabaseName.substr(kDatabaseSeparator + 1), &database); !s.ok()) {
    return s;
  }
  // What the new database carries besides its bytes comes from the file checked here, not from
  // whatever the name may point to later.
  EntryInfo checked;
  FileMetadata metadata;
  if (s = CheckUnchanged(*folder, database, nullptr, &checked, &metadata); !s.ok()) return s;
  return WriteNewDatabase(env, *folder, database, pieces, checked, metadata);
}

}  // namespace

Status RemoveLeftovers(Env& env, const std::function<std::string()>& install_path) {
  try {
    std::unique_ptr<Folder> folder;
    std::unique_ptr<FolderLock> lock;
    if (Status s = OpenAndLock(env, install_path, &folder, &lock); !s.ok()) return s;
    RemoveLeftovers(*folder);
    return Status::Ok();
  } catch (...) {
    return Status::Error(Status::Code::kNoMemory, "out of memory while cleaning up");
  }
}

Status RebuildDatabase(Env& env, const std::function<std::string()>& install_path, DataPieces& pieces) {
  // Every failure inside the rebuild is the rebuild's failure, one without memory included:
  // the destructors have put everything back by the time an exception arrives here.
  try {
    return Rebuild(env, install_path, pieces);
  } catch (const std::bad_alloc&) {
    return Status::Error(Status::Code::kNoMemory, "out of memory during the rebuild");
  } catch (...) {
    return Status::Error(Status::Code::kIoError, "unexpected failure during the rebuild");
  }
}

}  // namespace qrv3
