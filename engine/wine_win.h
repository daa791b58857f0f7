// What the Windows file services do differently under Wine: telling a link apart by where its
// handle leads, and the permission bits that an access list stands for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"

namespace qrv3 {

// Whether the program runs under Wine.
bool UnderWine();

// Where the file or folder open as `h` really is, every link on the way resolved; empty when the
// system cannot say.
std::wstring FinalPath(HANDLE h);

// The final path of the folder open as `h`, for IsEntryOf. Under Wine a folder that cannot say
// where it is cannot have its entries told from links: refused.
Status FolderFinalPath(HANDLE h, const std::string& what, std::wstring* folder);

// Whether what `h` has open is the entry `name` of the folder whose final path is `folder`. Wine
// shows a Unix symbolic link as the file or folder it points to: no reparse point through the
// handle, and the reparse-point flag does not keep it from opening the target. Only where the
// handle is tells it apart, and the folder's own final path is worked out the same way, so
// short names, substituted drives and links further up agree on both sides. Both are compared as
// the file system spells them; only the name may differ in letter case, where the folder has no
// other entry of that name, letter case aside. An empty `folder` (a volume that cannot say, on
// Windows, where the attributes already tell a link) passes.
bool IsEntryOf(const std::wstring& folder, HANDLE h, std::wstring_view name);

// Under Wine an access list only stands for Unix permission bits, and Wine reads an entry for
// the running user as one for the file's owner and group alike: a copy of an owner-only file's
// list gives the group its access too. Wine reads an entry for the file's owner as the owner's
// alone when that owner is not the running user, so the new file's list names a placeholder
// owner (CREATOR OWNER, never anyone's token) with what the old file's owner had, and Everyone
// with what everyone had: its group gets no more than everyone else. Execution is never given.
// Turns the self-relative descriptor `sd` (owner and DACL) into that one.
Status WineModeDescriptor(std::vector<uint8_t>* sd);

// A self-relative descriptor that lets the owner alone read and write, the way Wine reads it: the
// placeholder owner and one entry for it, which Wine makes mode 0600. For a file created with it.
Status WineOwnerOnlyDescriptor(std::vector<uint8_t>* sd);

}  // namespace qrv3
