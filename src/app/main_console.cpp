// Entry of the console build of zntr.exe (a build without the Qt windows):
// the unattended modes, and the staged copy's run that completes a
// self-update (started as core\cache\zntr.exe once the old copy has ended).

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "app/CommandLine.h"
#include "app/StagedUpdate.h"
#include "app/Unattended.h"

#include <iostream>

int main(int argc, char** argv) {
    ov::UseUtf8Console();
    const znt::LaunchOptions options =
        znt::ParseLaunchOptions(znt::JoinArguments(ov::ProgramArguments(argc, argv)));
    const std::string programPath = ov::ExecutablePath();
    const std::string programFolder = ov::ParentFolder(programPath);
    if (znt::IsStagedCopyRun(programFolder)) {
        ov::ConsoleMessageSink console;
        return znt::RunStagedCopy(programFolder, "zntr.exe", console);
    }
    if (auto status = znt::RunUnattendedMode(options, programPath, std::cout, std::cerr)) {
        return *status;
    }
    std::cerr << "zntr.exe: this build has no windows. Run \"zntr.exe LIST\" to see what an "
                 "update would do, \"zntr.exe UPDATE /QUIET\" to install the updates, or "
                 "\"zntr.exe /?\" for every mode."
              << std::endl;
    return znt::kExitOutputFailed;
}
