// Entry of the Windows zntr.exe (GUI subsystem). The unattended modes run
// first, on the console of the process that started the program when they
// need one; everything else builds the program state, makes sure of the
// manifest and loads the main window, which runs start-up and either shows
// itself or ends the program.

#include "OVShared/Modules/ManifestWriter.h"
#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/RegistryStore.h"
#include "OVShared/Platform/Yield.h"
#include "app/AppState.h"
#include "app/CommandLine.h"
#include "app/Unattended.h"
#include "ui/win32/Console.h"
#include "ui/win32/MainForm.h"
#include "ui/win32/Win32AppDialogs.h"
#include "ui/win32/Win32Form.h"
#include "ui/win32/Win32MessageSink.h"

#include <iostream>

namespace {

int RunUnattended(const znt::LaunchOptions& options, const std::string& programPath) {
    znt::win32::UnattendedConsole console;
    auto status = znt::RunUnattendedMode(options, programPath, std::cout, std::cerr);
    return console.Finish(status.value_or(znt::kExitBadCommandLine));
}

int ShowMainWindow(znt::win32::MainForm& form, bool unattended) {
    znt::LoadOutcome outcome = form.Load();
    if (!outcome.showMainWindow) return outcome.exitCode;
    form.Show();
    if (unattended) std::cerr << "note: main window open" << std::endl;
    return form.Run();
}

}  // namespace

int wmain(int, wchar_t**) {
    const znt::LaunchOptions options =
        znt::ParseLaunchOptions(znt::JoinArguments(ov::ProgramArguments(0, nullptr)));
    const std::string programPath = ov::ExecutablePath();
    if (znt::IsUnattendedMode(options)) return RunUnattended(options, programPath);

    ov::SetYieldHook(znt::win32::PumpMessages);
    const bool unattended = znt::BoxesOnConsole();
    ov::ConsoleMessageSink console;
    znt::win32::Win32MessageSink boxes;
    ov::MessageSink& messages = unattended ? static_cast<ov::MessageSink&>(console) : boxes;
    ov::RegistryStore store = ov::RegistryStore::Default();
    znt::AppState state(options, programPath, messages, store);
    boxes.SetButtonLabels([&state] { return znt::MessageButtonLabels(state.texts); });
    znt::win32::Win32AppDialogs dialogs;
    znt::win32::MainForm form(state, dialogs);

    ov::ManifestPlatform manifest = ov::ManifestPlatform::System(store);
    int code =
        ov::EnsureManifest(programPath, manifest, [&] { return ShowMainWindow(form, unattended); });
    ov::SetYieldHook({});
    return code;
}
