#include "install/InstallContext.h"

#include "OVShared/Modules/modOVCoreRun.h"

namespace znt {

PatcherRunner AutopatchRunner(ov::CoreSectionTable& coreTexts, ov::MessageSink& sink) {
    return [&coreTexts, &sink](const std::string& updaterPath, const std::string& arguments) {
        ov::RunAutopatch(updaterPath, arguments, coreTexts, sink);
    };
}

}  // namespace znt
