#pragma once

// The install pass's work on one fetched file, in two halves. Staging
// extracts its archive into a folder of the archive's own below the cache
// folder (InstallJournal.h); once every file is staged and the journal
// written (the run then deletes the archives), placement puts the new file
// in place.
//
// Placement never leaves the user without the installed file: the staged
// file is renamed over the target in one step by the last entry that places
// it (the staging folder lies on the installation's volume; a target keeps
// its permission bits), and copied beside the target under a temporary
// name and renamed over it (FileOps::Replace) by the entries before, or
// where no rename can be done. When that fails and the target is there, the
// old file stays and the new one goes to the cache folder itself: the program's
// own executable is left staged there (text 609, restart flag), any other
// file goes to the patcher
//     -O <target> -N <new file> -C <NameEnglish> -L E|G
// with each value quoted by the Windows rules when it holds a blank.

#include "install/InstallContext.h"
#include "install/InstallJournal.h"

#include <optional>
#include <string>
#include <string_view>

namespace znt {

// Extracts f's archive into its staging folder, when f was fetched and is
// safe. The archive stays until the journal is written.
void StageEntry(InstallContext& c, const PackageFileEntry& f);

// The journal's line for f: its staged new file when there is one.
std::optional<JournalEntry> StagedEntry(const InstallContext& c, const PackageFileEntry& f);

// Places the staged new file of f, when f was fetched and is safe.
void InstallEntry(InstallContext& c, const PackageEntry& package, const PackageFileEntry& f);

// True for the program's own executable: the name in capitals holds "ZNTR.EXE".
bool IsOwnExecutable(std::string_view fileName);

// The patcher's argument line.
std::string PatcherArguments(const std::string& target, const std::string& newFile,
                             const std::string& nameEnglish, bool english);

}  // namespace znt
