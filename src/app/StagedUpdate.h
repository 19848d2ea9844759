#pragma once

// Self-update over three starts. The install run leaves a new zntr.exe in
// core\cache\. The next normal start finds it without the marker and starts
// it; that copy (running from the cache folder) replaces core\zntr.exe and
// writes the marker mess.txt; the start after that finds both and empties
// the cache folder.

#include <string>
#include <string_view>

namespace ov {
class MessageSink;
}

namespace ov {
class InstanceLock;
}  // namespace ov

namespace znt {

inline constexpr const char* kSelfUpdateNotice =
    "Orvantis live update will now update itself. Please restart the application to remove the "
    "previous version and replace it with the newer version.";
inline constexpr const char* kCloseOldCopyNotice = "Please close Orvantis live update.";
inline constexpr const char* kMarkerText = "KILL ALL\r\n";

// True when the program runs from an installation's core\cache folder: the
// last two folder names are "core" and "cache" in any case (either separator,
// a trailing one allowed). "cache" elsewhere in the path (~/.cache) is not it.
bool IsStagedCopyRun(std::string_view programFolder);

// The staged copy's work: copies itself beside <parent of programFolder>\zntr.exe
// and renames the copy over it in one step (asking the user to close the old
// program while that fails), then writes the marker. Returns the exit code; a
// failed copy leaves the old program as it was and writes no marker, so that
// the next start tries again.
int RunStagedCopy(std::string_view programFolder, const std::string& title,
                  ov::MessageSink& messages);

enum class StagedCheck {
    NothingStaged,  // no core\cache\zntr.exe: start normally
    Completed,      // the copy is in place: the cache folder was emptied
                    // (unless an install pass's journal is pending)
    Started,        // the staged copy runs now: this start ends
    Discarded,      // it could not be started: removed, start normally
};

// The check of a normal start, for the installation in appFolder. The cache
// is emptied only under the installation's lock: lock when it is held or can
// be taken (lock keeps it then), else it stays for a start that gets it; the
// second form takes a lock of its own for that moment.
StagedCheck CheckStagedExecutable(std::string_view appFolder, ov::InstanceLock& lock);
StagedCheck CheckStagedExecutable(std::string_view appFolder);

}  // namespace znt
