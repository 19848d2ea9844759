#include "OVShared/Modules/PatcherRunner.h"

#include "OVShared/Modules/RunnerScript.h"
#include "OVShared/Platform/FileSystem.h"

#include <cstdlib>

namespace ov {

void RunPatcherScript(const std::string& folder, std::string_view arguments) {
    std::string script = folder + "\\runner.bat";
    if (!WriteFileAtomic(script, BatchRunnerScript(folder, arguments))) return;
    const char* comspec = std::getenv("ComSpec");
    // Started in the patcher's folder: the script's CD keeps the current
    // drive, and the installation may be on another one.
    ChildProcess child;
    child.Start(BatchRunnerCommand(comspec ? comspec : "", script), WindowStyle::Hidden, folder);
    WaitForChild(child);
}

}  // namespace ov
