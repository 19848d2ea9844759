// Entry of the Windows zntr.exe (GUI subsystem). The windowed part comes
// with the Win32 main window; until then this runs the unattended modes.

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/PathText.h"
#include "app/CommandLine.h"
#include "app/StagedUpdate.h"
#include "app/Unattended.h"

#include <iostream>

int wmain(int argc, wchar_t** argv) {
    (void)argc;
    (void)argv;
    const znt::LaunchOptions options =
        znt::ParseLaunchOptions(znt::JoinArguments(ov::ProgramArguments(0, nullptr)));
    const std::string programPath = ov::ExecutablePath();
    const std::string programFolder = ov::ParentFolder(programPath);
    if (znt::IsStagedCopyRun(programFolder)) {
        ov::ConsoleMessageSink console;
        return znt::RunStagedCopy(programFolder, "zntr.exe", console);
    }
    if (auto status = znt::RunUnattendedMode(options, programPath, std::cout, std::cerr)) {
        return *status;
    }
    return znt::kExitOutputFailed;
}
