#include "install/InstallContext.h"

#include "OVShared/Modules/modOVCoreRun.h"

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

}  // namespace znt
