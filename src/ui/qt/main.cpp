// Entry of zntr.exe: the LIST mode runs without a display; everything else
// builds the program state, makes sure of the manifest and loads the main
// window, which runs start-up and either shows itself or ends the program.

#include "OVShared/Modules/ManifestWriter.h"
#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/RegistryStore.h"
#include "OVShared/Platform/Yield.h"
#include "app/AppState.h"
#include "app/CommandLine.h"
#include "app/Unattended.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/QtAppDialogs.h"
#include "ui/qt/QtMessageSink.h"

#include <QApplication>

#include <cstdlib>
#include <iostream>

namespace {

// Without a display Qt would end the process with a signal; the unattended
// modes are what such a machine can run.
bool DisplayAvailable() {
#ifdef _WIN32
    return true;
#else
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
#endif
}

constexpr const char* kNoDisplayText =
    "zntr.exe: no display is available for the program's windows. Without a display, run "
    "\"zntr.exe LIST\" to see what an update would do, or \"zntr.exe UPDATE /QUIET\" to "
    "install the updates.";

int ShowMainWindow(znt::MainForm& form, bool unattended) {
    znt::LoadOutcome outcome = form.Load();
    if (!outcome.showMainWindow) return outcome.exitCode;
    form.show();
    if (unattended) std::cerr << "note: main window open" << std::endl;
    return QApplication::exec();
}

}  // namespace

int main(int argc, char** argv) {
    const znt::LaunchOptions options =
        znt::ParseLaunchOptions(znt::JoinArguments(ov::ProgramArguments(argc, argv)));
    const std::string programPath = ov::ExecutablePath();
    if (auto status = znt::RunUnattendedMode(options, programPath, std::cout, std::cerr)) {
        return *status;
    }

    if (!DisplayAvailable()) {
        std::cerr << kNoDisplayText << std::endl;
        return znt::kExitOutputFailed;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("zntr");
    // The main window's close path decides when the program ends.
    QApplication::setQuitOnLastWindowClosed(false);
    ov::SetYieldHook([] { QCoreApplication::processEvents(); });

    const bool unattended = znt::BoxesOnConsole();
    ov::ConsoleMessageSink console;
    znt::QtMessageSink boxes;
    ov::MessageSink& messages = unattended ? static_cast<ov::MessageSink&>(console) : boxes;
    ov::RegistryStore store = ov::RegistryStore::Default();
    znt::AppState state(options, programPath, messages, store);
    boxes.SetButtonLabels([&state] { return znt::MessageButtonLabels(state.texts); });
    znt::QtAppDialogs dialogs;
    znt::MainForm form(state, dialogs);
    QObject::connect(&form, &znt::MainForm::programEnded, &form,
                     [&form] { QCoreApplication::exit(form.exitCode()); });

    ov::ManifestPlatform manifest = ov::ManifestPlatform::System(store);
    int code =
        ov::EnsureManifest(programPath, manifest, [&] { return ShowMainWindow(form, unattended); });
    ov::SetYieldHook({});
    return code;
}
