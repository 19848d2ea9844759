#pragma once

// Fakes of the main window, its progress window and its dialogs, and the
// installations that the start-up, main-window and dialog tests run over.

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "app/AppState.h"
#include "app/AppViews.h"
#include "app/MainCommands.h"
#include "support/Env.h"
#include "support/TempDir.h"
#include "support/TestStore.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace apptest {

class FakeProgress : public ov::ProgressView {
public:
    void SetLabel(const std::string& text) override { label = text; }
    void SetBar(int value) override { bars.push_back(value); }
    void Show() override { shown = true; }
    void Close() override {
        shown = false;
        ++closes;
    }
    bool CancelRequested() const override { return cancelRequested; }

    bool cancelRequested = false;
    std::string label;
    std::vector<int> bars;
    bool shown = false;
    int closes = 0;
};

class FakeWindow : public znt::MainWindowView {
public:
    void SetCaptions() override { ++captions; }
    void SetCommandsEnabled(bool enabled) override { commandsEnabled = enabled; }
    void SetIcon(const std::string& path) override { icon = path; }
    ov::ProgressView& Progress() override { return progress; }

    int captions = 0;
    bool commandsEnabled = true;
    std::string icon;
    FakeProgress progress;
};

// Records which dialogs opened; the source dialog plays the answers queued
// in `sources` (an empty queue cancels).
class FakeDialogs : public znt::AppDialogs {
public:
    struct SourceAnswer {
        bool internet;
        std::string folder;
    };
    void ShowSource(znt::MainContext& c) override {
        znt::AppState& state = c.state;
        if (commandsEnabled) enabledDuringSource.push_back(commandsEnabled());
        opened.push_back("source");
        if (duringSource) duringSource();
        if (sources.empty()) return;
        state.SourceIsInternet = sources.front().internet;
        state.SourceFolder = sources.front().folder;
        state.SourceConfirmed = true;
        sources.erase(sources.begin());
    }
    void ShowInstallSelection(znt::MainContext&) override { opened.push_back("install"); }
    void ShowUninstallSelection(znt::MainContext&) override { opened.push_back("uninstall"); }
    void ShowFirstInstall(znt::MainContext&) override { opened.push_back("firstinstall"); }

    std::vector<SourceAnswer> sources;
    std::vector<std::string> opened;
    // Whether the commands were disabled while the source dialog was open.
    std::function<bool()> commandsEnabled;
    std::vector<bool> enabledDuringSource;
    // Runs while the source dialog is open (a user acting meanwhile).
    std::function<void()> duringSource;
};

// Points the per-user folders of this process (settings store, instance
// lock) at a temporary folder for the life of the object.
class RedirectedUser {
public:
    RedirectedUser() {
        std::filesystem::create_directories(home.file("config"));
        std::filesystem::create_directories(home.file("run"));
        testsupport::SetEnv("XDG_CONFIG_HOME", home.file("config"));
        testsupport::SetEnv("XDG_RUNTIME_DIR", home.file("run"));
    }
    testsupport::TempDir home;
    testsupport::ScopedStoreRoot registry{home};  // Windows: the settings keys
};

// A Windows-1252 application pack: the header, then index/text pairs.
inline std::string PackBytes(int charset, const std::vector<std::pair<int, std::string>>& texts) {
    std::string bytes = std::to_string(charset) + ",\"Test\"\r\n";
    for (const auto& [index, text] : texts) {
        bytes += std::to_string(index) + ",\"" + text + "\"\r\n";
    }
    return bytes;
}

// The build folder: $ZNT_TEST_BIN_DIR, else found from this test program
// (<build>/tests/<program>).
inline std::string BuildFolder() {
    if (const char* bin = std::getenv("ZNT_TEST_BIN_DIR")) return bin;
    return std::filesystem::path(ov::ExecutablePath()).parent_path().parent_path().string();
}

// The build's staged installation (program, packs, icon, pictures), copied
// to dir. False when there is none.
inline bool CopyStagedInstallation(const testsupport::TempDir& dir) {
    std::string stage = BuildFolder() + "/stage";
    if (!std::filesystem::exists(stage + "/core/zntr.exe")) return false;
    std::error_code ec;
    std::filesystem::copy(stage, dir.path(),
                          std::filesystem::copy_options::recursive |
                              std::filesystem::copy_options::overwrite_existing,
                          ec);
    return !ec;
}

}  // namespace apptest
