#pragma once

// Removal of the packages picked in the uninstall dialog, from the catalogue
// alone. For each marked package (never the program's own package, never the
// protected codes 60 to 62) each file in turn is deleted, the folders that it
// leaves empty are removed upwards, and the event loop gets a turn. A file
// that stays, or whose presence cannot be told, does not stop the removal; it
// is reported once at the end (application text 208, error icon).
//
// A file that another package still lists stays: any package not removed
// now (the program's own and codes 60 to 62 included) that lists a file
// still there is installed by the list's own test. Names are compared
// without regard to case or separator.
//
// The catalogue is untrusted, so nothing outside the installation folder is
// ever deleted: unsafe file names are skipped, so is a file whose folder
// resolves (through links) outside the installation or whose way there
// passes a link below it; a link in a file's place is removed and never its
// target, and pruning stops below the installation folder, which itself
// always stays. The running executable (whatever spelling reaches it), any
// core\zntr.exe (in whatever case) and the files the program keeps for
// itself (ov::IsProgramOwnFile) are never deleted.
//
// Runs on the user-interface thread; callers must tolerate input arriving
// while it yields.

#include "catalogue/Catalogue.h"

#include <string>
#include <vector>

namespace ov {
class MessageSink;
}  // namespace ov

namespace znt {

struct AppTexts;
class FileOps;

struct RemovalContext {
    std::string installFolder;  // without a trailing "\"
    Packages& packages;         // Marked = chosen for removal
    const AppTexts& texts;
    ov::MessageSink& messages;
    std::string title;          // of the message box
    std::string ownExecutable;  // path of the running program (ov::ExecutablePath())
    FileOps& files;
};

// A file that stayed, and why ("permission denied", "used by another package").
struct RemovalLine {
    std::string path;
    std::string reason;
    bool operator==(const RemovalLine&) const = default;
};

// Paths are installation folder + "\" + FileName, in the order handled.
struct RemovalResult {
    std::vector<std::string> removed;  // were there and are gone
    std::vector<RemovalLine> failed;   // still there, or presence unknown
    std::vector<RemovalLine> skipped;  // refused: unsafe, outside, shared, or the program's own
};

// Removes the files of the marked packages; shows text 208 once when some
// file failed. Files that were already missing appear in no list.
RemovalResult RemovePackages(RemovalContext& c);

}  // namespace znt
