#pragma once

// The install pass's work on one fetched file: extract its archive into the
// cache folder, delete the archive, and put the new file in place.
//
// Placement never leaves the user without the installed file: the new file
// is copied beside the target under a temporary name and renamed over it
// (FileOps::Replace). When that fails and the target is there, the old file
// stays: the program's own executable is left staged in the cache folder
// (text 609, restart flag), any other file goes to the patcher
//     -O <target> -N <new file> -C <NameEnglish> -L E|G
// with each value quoted by the Windows rules when it holds a blank.

#include "install/InstallContext.h"

#include <string>
#include <string_view>

namespace znt {

// Extracts, deletes the archive and places the new file of f, when f was
// fetched and is safe.
void InstallEntry(InstallContext& c, const PackageEntry& package, const PackageFileEntry& f);

// True for the program's own executable: the name in capitals holds "ZNTR.EXE".
bool IsOwnExecutable(std::string_view fileName);

// The patcher's argument line.
std::string PatcherArguments(const std::string& target, const std::string& newFile,
                             const std::string& nameEnglish, bool english);

}  // namespace znt
