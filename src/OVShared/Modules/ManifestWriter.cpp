#include "OVShared/Modules/ManifestWriter.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/RegistryStore.h"
#include "OVShared/Platform/ShellOpen.h"

#include <array>

namespace ov {
namespace {

constexpr std::array<const char*, 16> kManifestLines = {
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)",
    R"(<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">)",
    R"(<assemblyIdentity version="1.0.0.0" processorArchitecture="x86" name="zntr.exe" type="Win32" />)",
    R"(<dependency>)",
    R"(<dependentAssembly>)",
    R"(<assemblyIdentity type="Win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="x86" publicKeyToken="6595b64144ccf1df" language="*" />)",
    R"(</dependentAssembly>)",
    R"(</dependency>)",
    R"(<trustInfo xmlns="urn:schemas-microsoft-com:asm.v3">)",
    R"(<security>)",
    R"(<requestedPrivileges>)",
    R"(<requestedExecutionLevel level="requireAdministrator" />)",
    R"(</requestedPrivileges>)",
    R"(</security>)",
    R"(</trustInfo>)",
    R"(</assembly>)",
};

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

std::string ProgramFolder(std::string_view programPath) {
    std::size_t cut = LastSeparator(programPath);
    return cut == std::string_view::npos ? std::string() : std::string(programPath.substr(0, cut));
}

// The program's own executable as the shell should start it again.
std::string OwnExecutable(std::string_view programPath) {
    return ProgramFolder(programPath) + "\\" + ProgramBaseName(programPath) + ".exe";
}

bool EndsWithExe(std::string_view name) {
    return name.size() >= 4 && ov::EqualsNoCase(name.substr(name.size() - 4), ".exe");
}

}  // namespace

int VersionCodeFor(int platformId, int major, int minor) {
    if (platformId == kPlatformNT) {
        if (major == 5 && minor == 1) return 6;
        if (major == 5 && minor == 0) return 5;
        if (major == 4) return 4;
        return 0;
    }
    if (platformId == kPlatformWin9x) {
        if (major == 4 && minor == 90) return 3;
        if (major > 4 || (major == 4 && minor > 0)) return 2;
        if (major == 4 && minor == 0) return 1;
    }
    return 0;
}

std::string ProgramBaseName(std::string_view programPath) {
    std::size_t cut = LastSeparator(programPath);
    std::string_view name =
        cut == std::string_view::npos ? programPath : programPath.substr(cut + 1);
    if (EndsWithExe(name)) name.remove_suffix(4);
    return std::string(name);
}

std::string ManifestPath(std::string_view programPath) {
    return ProgramFolder(programPath) + "\\" + ProgramBaseName(programPath) + ".exe.MANIFEST";
}

std::string ManifestText() {
    std::string text;
    for (const char* line : kManifestLines) {
        text += line;
        text += "\r\n";
    }
    return text;
}

bool ManifestExists(std::string_view programPath) {
    return ReadWholeFile(ManifestPath(programPath), 1u << 20).has_value();
}

bool WriteManifest(std::string_view programPath) {
    return WriteFileAtomic(ManifestPath(programPath), ManifestText());
}

ManifestPlatform ManifestPlatform::System(RegistryStore& store) {
    ManifestPlatform p;
    p.versionCode = [] { return WindowsVersionCode(); };
    p.manifestExists = [](std::string_view path) { return ManifestExists(path); };
    p.writeManifest = [](std::string_view path) { return WriteManifest(path); };
    p.initCommonControls = [] { InitCommonControlsInternet(); };
    p.restart = [](std::string_view path) {
        return ShellOpen(OwnExecutable(path), "Open", "", "", WindowStyle::NormalNoFocus);
    };
    p.storeCanRun = [&store](std::string_view path, std::string_view value) {
        SaveAppSetting(store, ProgramBaseName(path), "Settings", "CanRun", value);
    };
    return p;
}

int EnsureManifest(std::string_view programPath, const ManifestPlatform& platform,
                   const std::function<int()>& showMainWindow, int restartedExitCode) {
    bool existed = platform.manifestExists(programPath);
    // Systems up to Windows 2000 need no manifest; one that cannot be
    // written is ignored, as if it were there.
    if (platform.versionCode() <= 5 || !platform.writeManifest(programPath)) {
        return showMainWindow();
    }
    platform.initCommonControls();
    if (existed) return showMainWindow();
    platform.storeCanRun(programPath, "YES");
    if (platform.restart(programPath)) return restartedExitCode;
    platform.storeCanRun(programPath, "NO");
    return showMainWindow();
}

}  // namespace ov
