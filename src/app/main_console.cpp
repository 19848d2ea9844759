// Entry of the console build of zntr.exe (a build without the Qt windows):
// the windowless modes only.

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"
#include "app/CommandLine.h"
#include "app/QuietModes.h"
#include "app/Unattended.h"

#include <iostream>

int main(int argc, char** argv) {
    const std::string commandLine = znt::JoinArguments(ov::ProgramArguments(argc, argv));
    if (auto status =
            znt::RunWindowlessMode(commandLine, ov::ExecutablePath(), std::cout, std::cerr)) {
        return *status;
    }
    std::cerr << "zntr.exe: this build has no windows. Run \"zntr.exe LIST\" to see what an "
                 "update would do, \"zntr.exe UPDATE /QUIET\" to install the updates, or "
                 "\"zntr.exe /?\" for every mode."
              << std::endl;
    return znt::kExitOutputFailed;
}
