#include "OVShared/Modules/PatcherRunner.h"

#include "OVShared/Modules/RunnerScript.h"
#include "OVShared/Modules/modOVCoreRun.h"
#include "OVShared/Platform/FileSystem.h"

#include <vector>

namespace ov {
namespace {

// The name the patcher has in its folder, "AUTOPATCH.EXE" in any case.
std::string PatcherFileName(const std::string& folder) {
    auto matches = MatchFiles(folder, "AUTOPATCH.EXE");
    if (matches.empty()) return "AUTOPATCH.EXE";
    const std::string& full = matches.front();
    return full.substr(full.find_last_of('/') + 1);
}

}  // namespace

void RunPatcherScript(const std::string& folder, std::string_view arguments) {
    std::string nativeFolder = NativePath(folder);
    std::string script = nativeFolder + "/runner.sh";
    std::string text = ShellRunnerScript(nativeFolder, PatcherFileName(nativeFolder), arguments);
    if (!WriteFileAtomic(script, text)) return;
    RunAndWait(std::vector<std::string>{"/bin/sh", script}, WindowStyle::Hidden);
}

}  // namespace ov
