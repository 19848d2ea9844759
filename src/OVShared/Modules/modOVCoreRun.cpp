#include "OVShared/Modules/modOVCoreRun.h"

#include "OVShared/Modules/PatcherRunner.h"
#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/ShellOpen.h"
#include "OVShared/Platform/Yield.h"

#include <chrono>
#include <thread>

namespace ov {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

// Shows the missing-file message when file does not exist; true when it does.
bool CheckExists(std::string_view file, CoreSectionTable& texts, MessageSink& sink) {
    texts.EnsureLoaded();
    if (FileExists(file)) return true;
    // The path as the system spells it: "/" on POSIX.
    sink.Show(texts.MissingFileText(NativePath(file)), "", MsgIcon::Critical);
    return false;
}

}  // namespace

int WaitForChild(ChildProcess& child) {
    for (;;) {
        int code = child.Poll();
        if (code != kStillActive) return code;
        YieldToEventLoop();
        std::this_thread::sleep_for(kPollInterval);
    }
}

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
    return WaitForChild(child);
}

int RunAndWait(const std::vector<std::string>& argv, WindowStyle style) {
    ChildProcess child;
    child.Start(argv, style);
    return WaitForChild(child);
}

void RunAutopatch(std::string_view updaterPath, std::string_view arguments, CoreSectionTable& texts,
                  MessageSink& sink) {
    if (!CheckExists(updaterPath, texts, sink)) return;
    RunPatcherScript(ParentFolder(updaterPath), arguments);
}

void OpenWithShell(std::string_view file, std::string_view parameters, CoreSectionTable& texts,
                   MessageSink& sink) {
    if (!CheckExists(file, texts, sink)) return;
    ShellOpen(file, "Open", parameters, "C:\\", WindowStyle::NormalFocus);
}

}  // namespace ov
