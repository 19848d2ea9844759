#include "OVShared/Modules/modOVCoreRun.h"

#include "OVShared/Modules/RunnerScript.h"
#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/ShellOpen.h"
#include "OVShared/Platform/Yield.h"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace ov {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

int WaitFor(ChildProcess& child) {
    for (;;) {
        int code = child.Poll();
        if (code != kStillActive) return code;
        YieldToEventLoop();
        std::this_thread::sleep_for(kPollInterval);
    }
}

// Shows the missing-file message when file does not exist; true when it does.
bool CheckExists(std::string_view file, CoreSectionTable& texts, MessageSink& sink) {
    texts.EnsureLoaded();
    if (FileExists(file)) return true;
    // The path as the system spells it: "/" on POSIX.
    sink.Show(texts.MissingFileText(NativePath(file)), "", MsgIcon::Critical);
    return false;
}

#ifndef _WIN32
// The name the patcher has in its folder, "AUTOPATCH.EXE" in any case.
std::string PatcherFileName(const std::string& folder) {
    auto matches = MatchFiles(folder, "AUTOPATCH.EXE");
    if (matches.empty()) return "AUTOPATCH.EXE";
    const std::string& full = matches.front();
    return full.substr(full.find_last_of('/') + 1);
}
#endif

}  // namespace

CoreSectionTable::CoreSectionTable(const znt::SharedPackIndex* pack) : pack_(pack) {}

void CoreSectionTable::EnsureLoaded() {
    if (attempted_) return;
    attempted_ = true;
    found_ = pack_ && pack_->LoadSection(kSectionName, texts_);
}

std::string CoreSectionTable::MissingFileText(std::string_view path) const {
    if (found_ && texts_.size() > kMissingFileText && !texts_[kMissingFileText].empty()) {
        return texts_[kMissingFileText];
    }
    return "File not found: " + std::string(path);
}

int RunAndWait(std::string_view commandLine, WindowStyle style) {
    ChildProcess child;
    child.Start(commandLine, style);
    return WaitFor(child);
}

int RunAndWait(const std::vector<std::string>& argv, WindowStyle style) {
    ChildProcess child;
    child.Start(argv, style);
    return WaitFor(child);
}

void RunAutopatch(std::string_view updaterPath, std::string_view arguments, CoreSectionTable& texts,
                  MessageSink& sink) {
    if (!CheckExists(updaterPath, texts, sink)) return;
    std::string folder = ParentFolder(updaterPath);
#ifdef _WIN32
    std::string script = folder + "\\runner.bat";
    if (!WriteFileAtomic(script, BatchRunnerScript(folder, arguments))) return;
    const char* comspec = std::getenv("ComSpec");
    // Started in the patcher's folder: the script's CD keeps the current
    // drive, and the installation may be on another one.
    ChildProcess child;
    child.Start(BatchRunnerCommand(comspec ? comspec : "", script), WindowStyle::Hidden, folder);
    WaitFor(child);
#else
    std::string nativeFolder = NativePath(folder);
    std::string script = nativeFolder + "/runner.sh";
    std::string text = ShellRunnerScript(nativeFolder, PatcherFileName(nativeFolder), arguments);
    if (!WriteFileAtomic(script, text)) return;
    RunAndWait(std::vector<std::string>{"/bin/sh", script}, WindowStyle::Hidden);
#endif
}

void OpenWithShell(std::string_view file, std::string_view parameters, CoreSectionTable& texts,
                   MessageSink& sink) {
    if (!CheckExists(file, texts, sink)) return;
    ShellOpen(file, "Open", parameters, "C:\\", WindowStyle::NormalFocus);
}

}  // namespace ov
