// What a file carries besides its bytes and times on Windows, as FileMetadata holds it: the
// attributes, then the security descriptor (owner and DACL) where the file system keeps one.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/env.h"

namespace qrv3 {

// What the file open as `h` carries (read through READ_CONTROL and FILE_READ_ATTRIBUTES).
Status ReadMetadata(HANDLE h, const std::string& what, FileMetadata* metadata);

// A self-relative security descriptor for a file created with it, which lets only its creator
// in (with full access; under Wine read and write, mode 0600) and takes nothing from the folder:
// no one else may open a new file before it is given a model's access list.
Status OwnerOnlyDescriptor(std::vector<uint8_t>* sd);

// Gives the file open as `h` what `model` carries, as NewFile::SetMetadata promises; with
// `can_set_dacl` false (a share that lets us make files but not set their permissions) only its
// attributes.
Status WriteMetadata(HANDLE h, const std::string& what, const FileMetadata& model,
                     bool can_set_dacl);

}  // namespace qrv3
