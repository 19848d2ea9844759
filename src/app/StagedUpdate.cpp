#include "app/StagedUpdate.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/Process.h"
#include "OVShared/Platform/Yield.h"
#include "app/MainCommands.h"

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

char UpperAscii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

}  // namespace

bool IsStagedCopyRun(std::string_view programFolder) {
    std::string upper;
    for (char c : programFolder) upper += UpperAscii(c);
    return upper.find("CACHE") != std::string::npos;
}

int RunStagedCopy(std::string_view programFolder, const std::string& title,
                  ov::MessageSink& messages) {
    const std::string target = ov::StripPathLevels(programFolder, 1) + "\\zntr.exe";
    while (ov::FileExists(target)) {
        messages.Show(kSelfUpdateNotice, title, ov::MsgIcon::Information);
        ov::DeleteFileForced(target);
        if (ov::FileExists(target)) {
            messages.Show(kCloseOldCopyNotice, title, ov::MsgIcon::Exclamation);
        }
        PauseBetweenTries();
    }
    const std::string folder(programFolder);
    if (!ov::CopyFileReplacing(folder + "\\zntr.exe", target)) return kExitFailed;
    ov::WriteFileAtomic(folder + "\\mess.txt", kMarkerText);
    return kExitOk;
}

StagedCheck CheckStagedExecutable(std::string_view appFolder) {
    const std::string cache = std::string(appFolder) + "\\core\\cache\\";
    const std::string staged = cache + "zntr.exe";
    if (!ov::FileExists(staged)) return StagedCheck::NothingStaged;
    if (ov::FileExists(cache + "mess.txt")) {
        ov::DeleteFileForced(cache + "*.*");
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
