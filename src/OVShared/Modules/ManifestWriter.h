#pragma once

// The application manifest beside the program (<exe>.exe.MANIFEST): on the
// Windows versions that need it, it turns on the version 6 common controls
// and asks to run as administrator. A manifest only takes effect for a new
// process, so writing one restarts the program.

#include <functional>
#include <string>
#include <string_view>

namespace ov {

class RegistryStore;

// Platform id of the version record (OSVERSIONINFO::dwPlatformId).
inline constexpr int kPlatformWin9x = 1;
inline constexpr int kPlatformNT = 2;

// 6: NT 5.1; 5: NT 5.0; 4: NT 4; 3: 9x 4.90; 2: 9x above 4.0; 1: 9x 4.0;
// 0: anything else (every NT after 5.1, other platforms).
int VersionCodeFor(int platformId, int major, int minor);

// The code of the running system; 0 where the system is not Windows or its
// version cannot be read.
int WindowsVersionCode();

// Registers the common controls' internet classes (Windows only).
void InitCommonControlsInternet();

// <program folder>\<base name>.exe.MANIFEST for the program's full path.
std::string ManifestPath(std::string_view programPath);

// The sixteen lines of the manifest, each ended by CR LF.
std::string ManifestText();

bool ManifestExists(std::string_view programPath);
// Creates or overwrites the manifest; false on any error.
bool WriteManifest(std::string_view programPath);

// Everything EnsureManifest touches outside itself. The defaults act on the
// running system; tests replace single pieces.
struct ManifestPlatform {
    std::function<int()> versionCode;
    std::function<bool(std::string_view programPath)> manifestExists;
    std::function<bool(std::string_view programPath)> writeManifest;
    std::function<void()> initCommonControls;
    // Starts the program again (shell "Open", shown without activation).
    std::function<bool(std::string_view programPath)> restart;
    // Stores "CanRun" in the program's per-user application settings.
    std::function<void(std::string_view programPath, std::string_view value)> storeCanRun;

    static ManifestPlatform System(RegistryStore& store);
};

// Makes sure the manifest exists. When a new one was written and the program
// restarted itself, returns restartedExitCode without calling
// showMainWindow; otherwise returns what showMainWindow returns.
int EnsureManifest(std::string_view programPath, const ManifestPlatform& platform,
                   const std::function<int()>& showMainWindow, int restartedExitCode = 0);

// Executable base name of a program path ("zntr" for "...\core\zntr.exe").
std::string ProgramBaseName(std::string_view programPath);

}  // namespace ov
