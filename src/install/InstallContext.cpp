#include "install/InstallContext.h"

#include "OVShared/Modules/modOVCoreRun.h"

#include <algorithm>

namespace znt {

PatcherRunner AutopatchRunner(ov::CoreSectionTable& coreTexts, ov::MessageSink& sink) {
    return [&coreTexts, &sink](const std::string& updaterPath, const std::string& arguments) {
        ov::RunAutopatch(updaterPath, arguments, coreTexts, sink);
    };
}

StagedArchive* InstallRunState::Staged(const std::string& path) {
    for (StagedArchive& s : staged) {
        if (s.path == path) return &s;
    }
    return nullptr;
}

bool IsFailureEvent(InstallEventKind kind) {
    return kind == InstallEventKind::ArchiveFailed || kind == InstallEventKind::FileNotExtracted ||
           kind == InstallEventKind::FileNotPlaced;
}

void InstallContext::NoteNotInstalled(const std::string& target) {
    if (run.notInstalledSeen.insert(target).second) run.notInstalled.push_back(target);
}

}  // namespace znt
