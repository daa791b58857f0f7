#include "engine/rebuild.h"

#include <memory>
#include <new>

namespace qrv3 {
namespace {

Status WriteAndReplace(Env& env, const std::string& temp, const std::string& target,
                       const uint8_t* data, size_t n) {
  std::unique_ptr<WritableFile> file;
  Status s = env.NewWritableFile(temp, &file);
  if (!s.ok()) return s;
  s = file->Append(data, n);
  if (s.ok()) s = file->Sync();
  if (s.ok()) s = file->Close();
  file.reset();  // closes it if a step above failed, so it can be removed
  if (s.ok()) s = env.ReplaceFile(temp, target);
  if (!s.ok()) env.RemoveFile(temp);
  return s;
}

}  // namespace

Status AssembleDatabase(Env& env, const std::string& updater_folder,
                        std::unique_ptr<uint8_t[]>* image) {
  image->reset();
  // The pieces are read straight into their places in the image, so there is one copy of the
  // 12 MB and no piece buffers.
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[DatabaseSize()]);
  if (!out) return Status::Error(Status::Code::kNoMemory, "no memory for the new database");
  for (const DataPiece& p : kDataPieces) {
    Status s = env.ReadFileAt(updater_folder + std::string(p.name), p.read_from - 1, p.count,
                              out.get() + (p.written_at - 1));
    if (!s.ok()) return s;
  }
  *image = std::move(out);
  return Status::Ok();
}

Status RebuildDatabase(Env& env, const std::function<std::string()>& install_path,
                       const std::string& updater_folder) {
  constexpr size_t kSize = DatabaseSize();
  std::unique_ptr<uint8_t[]> image;
  if (Status s = AssembleDatabase(env, updater_folder, &image); !s.ok()) return s;

  const std::string target = install_path() + std::string(kDatabaseName);
  // A read-only database stays as it is: replacing it by rename would succeed where the system
  // lets a rename pass over the attribute (Wine, or root on POSIX).
  bool read_only = false;
  Status s = env.IsReadOnly(target, &read_only);
  if (!s.ok()) return s;
  if (read_only) return Status::Error(Status::Code::kAccessDenied, target + " is read-only");

  const std::string temp =
      install_path() + std::string(kDatabaseName) + std::string(kTemporarySuffix);
  return WriteAndReplace(env, temp, target, image.get(), kSize);
}

}  // namespace qrv3
