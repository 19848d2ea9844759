#include "app/StagedUpdate.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/InstanceLock.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/Process.h"
#include "OVShared/Platform/Yield.h"
#include "app/MainCommands.h"
#include "install/InstallJournal.h"

#include <chrono>
#include <filesystem>
#include <thread>

namespace znt {
namespace {

// Between two tries to remove the old program: the event loop runs, and a
// run without message boxes (unattended) does not spin.
void PauseBetweenTries() {
    for (int i = 0; i < 5; ++i) {
        ov::YieldToEventLoop();
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

// An archive may not carry the execute permission; the staged copy is a
// program whatever its extraction made of it.
void MakeRunnable(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::permissions(ov::NativePath(path), fs::perms::owner_exec | fs::perms::group_exec,
                    fs::perm_options::add, ec);
}

// The new program is copied whole to this name beside the old one, then
// renamed over it.
constexpr const char* kReplacementSuffix = ".new";

std::string_view WithoutTrailingSeparators(std::string_view folder) {
    while (!folder.empty() && ov::IsSeparator(folder.back())) folder.remove_suffix(1);
    return folder;
}

// The last folder name of path, which it removes from path.
std::string_view TakeLastName(std::string_view& path) {
    path = WithoutTrailingSeparators(path);
    size_t sep = path.find_last_of("\\/");
    std::string_view name = sep == std::string_view::npos ? path : path.substr(sep + 1);
    path.remove_suffix(name.size());
    return name;
}

// Moves the copy beside target over it. Where the old program still runs
// (Windows) that fails: the user is asked to close it, and it is tried again
// until it works. False (the copy removed) when it fails with no old program.
bool ReplaceWhenFree(const std::string& beside, const std::string& target, const std::string& title,
                     ov::MessageSink& messages) {
    for (;;) {
        bool present = ov::FileExists(target);
        if (present) {
            messages.Show(kSelfUpdateNotice, title, ov::MsgIcon::Information);
            ov::ClearAttributes(target);
        }
        std::error_code ec;
        std::filesystem::rename(ov::NativePath(beside), ov::NativePath(target), ec);
        if (!ec) return true;
        if (!present) {
            ov::RemoveFile(beside);
            return false;
        }
        messages.Show(kCloseOldCopyNotice, title, ov::MsgIcon::Exclamation);
        PauseBetweenTries();
    }
}

}  // namespace

bool IsStagedCopyRun(std::string_view programFolder) {
    std::string_view rest = programFolder;
    std::string_view last = TakeLastName(rest);
    return ov::EqualsNoCase(last, "cache") && ov::EqualsNoCase(TakeLastName(rest), "core");
}

int RunStagedCopy(std::string_view programFolder, const std::string& title,
                  ov::MessageSink& messages) {
    const std::string folder(WithoutTrailingSeparators(programFolder));
    const std::string target = ov::StripPathLevels(folder, 1) + "\\zntr.exe";
    // The new program is copied whole beside the old one first, so a failed
    // copy (a full disk, a missing staged file) leaves the old one in place.
    const std::string beside = target + kReplacementSuffix;
    if (!ov::CopyFileReplacing(folder + "\\zntr.exe", beside)) return kExitFailed;
    if (!ReplaceWhenFree(beside, target, title, messages)) return kExitFailed;
    ov::WriteFileAtomic(folder + "\\mess.txt", kMarkerText);
    return kExitOk;
}

StagedCheck CheckStagedExecutable(std::string_view appFolder) {
    ov::InstanceLock lock;
    return CheckStagedExecutable(appFolder, lock);
}

StagedCheck CheckStagedExecutable(std::string_view appFolder, ov::InstanceLock& lock) {
    const std::string cache = std::string(appFolder) + "\\core\\cache\\";
    const std::string staged = cache + "zntr.exe";
    if (!ov::FileExists(staged)) return StagedCheck::NothingStaged;
    if (ov::FileExists(cache + "mess.txt")) {
        // A journal still there belongs to a pass of an interrupted run; a
        // cache that is a link empties nothing of what it names.
        if (!JournalPending(cache) && !ov::LinkBelow(appFolder, cache) &&
            (lock.held() || lock.TryAcquire(appFolder))) {
            ov::DeleteFileForced(cache + "*.*");
        }
        return StagedCheck::Completed;
    }
    MakeRunnable(staged);
    if (ov::StartDetached({ov::NativePath(staged)}, ov::WindowStyle::NormalFocus)) {
        return StagedCheck::Started;
    }
    // A staged copy that cannot run (left empty or damaged by an interrupted
    // run) would stop every start here; drop it and start normally.
    ov::DeleteFileForced(staged);
    return StagedCheck::Discarded;
}

}  // namespace znt
