#include "install/InstallContext.h"

#include "OVShared/Modules/modOVCoreRun.h"

#include <algorithm>

namespace znt {

PatcherRunner AutopatchRunner(ov::CoreSectionTable& coreTexts, ov::MessageSink& sink) {
    return [&coreTexts, &sink](const std::string& updaterPath, const std::string& arguments) {
        ov::RunAutopatch(updaterPath, arguments, coreTexts, sink);
    };
}

bool IsFailureEvent(InstallEventKind kind) {
    return kind == InstallEventKind::ArchiveFailed || kind == InstallEventKind::FileNotExtracted ||
           kind == InstallEventKind::FileNotPlaced;
}

void InstallContext::NoteNotInstalled(const std::string& target) {
    std::vector<std::string>& noted = run.notInstalled;
    if (std::find(noted.begin(), noted.end(), target) == noted.end()) noted.push_back(target);
}

}  // namespace znt
