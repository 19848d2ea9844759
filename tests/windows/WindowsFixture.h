#pragma once

// Shared pieces of the Windows-only tests: the helper programs built beside
// the test program, Windows paths below a temporary folder, a helper process
// that can be told to end, and an install context over a local source.

#include "OVShared/Platform/Process.h"
#include "OVShared/Platform/WinSupport.h"
#include "catalogue/Catalogue.h"
#include "i18n/LanguagePack.h"
#include "install/DownloadView.h"
#include "install/InstallContext.h"
#include "install/InstallFiles.h"
#include "OVShared/Platform/Inet.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace wintest {

// The folder of the running test program, where the helpers are built.
inline std::string TestProgramFolder() {
    wchar_t self[MAX_PATH * 2] = {};
    DWORD n = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    std::wstring path(self, n);
    return ov::Narrow(path.substr(0, path.find_last_of(L'\\')));
}

inline std::string Built(const std::string& name) { return TestProgramFolder() + "\\" + name; }

inline std::string Backslashes(std::string path) {
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

inline bool CopyInto(const std::string& from, const std::string& to) {
    return CopyFileW(ov::Widen(from).c_str(), ov::Widen(to).c_str(), FALSE) != 0;
}

inline bool PathExists(const std::string& path) {
    return GetFileAttributesW(ov::Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Polls the condition every 50 ms for up to 30 s.
inline bool Eventually(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

// The exit code of the child, waiting up to 30 s; kStillActive when it runs on.
inline int Finish(ov::ChildProcess& child) {
    int code = ov::kStillActive;
    Eventually([&] { return (code = child.Poll()) != ov::kStillActive; });
    return code;
}

// A helper process running "hold": a running program until Stop().
class RunningProgram {
public:
    RunningProgram(const std::string& exe, const std::string& folder)
        : ready_(folder + "\\held.ready"), stop_(folder + "\\held.stop") {
        started_ = child_.Start(std::vector<std::string>{exe, "hold", ready_, stop_},
                                ov::WindowStyle::Hidden) &&
                   Eventually([this] { return PathExists(ready_); });
    }
    ~RunningProgram() { Stop(); }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool started() const { return started_; }
    // Asks the program to end and waits for it; its exit code.
    int Stop() {
        if (!started_ || stopped_) return code_;
        stopped_ = true;
        HANDLE h = CreateFileW(ov::Widen(stop_).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               0, nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        code_ = Finish(child_);
        return code_;
    }

private:
    std::string ready_;
    std::string stop_;
    ov::ChildProcess child_;
    bool started_ = false;
    bool stopped_ = false;
    int code_ = ov::kNotStarted;
};

// The test archives hold the new file's bytes as they are.
class CopyingExtractor : public znt::ArchiveExtractor {
public:
    int Extract(const std::string& archive, const std::string& folder, std::uint64_t,
                std::string&) override {
        return CopyInto(archive, folder + znt::ArchiveStem(znt::LastPathPart(archive))) ? 0 : 1;
    }
};

// An installation "<temp>\inst dir" and a local source "<temp>\source" with
// the archives in its files folder, and an install context over them with
// the real file operations.
class WindowsInstall : public testing::Test {
protected:
    WindowsInstall() {
        CreateDirectoryW(ov::Widen(inst).c_str(), nullptr);
        CreateDirectoryW(ov::Widen(inst + "\\core").c_str(), nullptr);
        CreateDirectoryW(ov::Widen(inst + "\\core\\cache").c_str(), nullptr);
        CreateDirectoryW(ov::Widen(source).c_str(), nullptr);
        CreateDirectoryW(ov::Widen(source + "\\files").c_str(), nullptr);
        for (int i : {206, 609, 612}) texts.text[i] = "T" + std::to_string(i);
    }

    // A marked package whose one size-checked file is fileName with content.
    void AddPackage(const std::string& name, const std::string& fileName,
                    const std::string& content) {
        znt::PackageFileEntry f;
        f.FileName = fileName;
        f.CheckMode = 1;
        f.SizeBytes = static_cast<std::int32_t>(content.size());
        f.ArchiveName = znt::LastPathPart(fileName) + ".zip";
        f.ArchiveSize = static_cast<std::int32_t>(content.size());
        Write(source + "\\files\\" + f.ArchiveName, content);
        znt::PackageEntry p;
        p.Marked = true;
        p.NameEnglish = name;
        p.SizeBytes = f.ArchiveSize;
        p.Files.push_back(f);
        p.FileCount = 1;
        packages.entries.push_back(std::move(p));
    }

    bool Reported(znt::InstallEventKind kind, const std::string& name) const {
        for (const auto& e : events) {
            if (e.kind == kind && e.name == name) return true;
        }
        return false;
    }

    static void Write(const std::string& path, const std::string& bytes) {
        HANDLE h = CreateFileW(ov::Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
        DWORD written = 0;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    static std::string Read(const std::string& path) { return testsupport::ReadFile(path); }

    testsupport::TempDir tmp;
    std::string inst = Backslashes(tmp.path()) + "\\inst dir";
    std::string source = Backslashes(tmp.path()) + "\\source";
    znt::Packages packages;
    znt::AppTexts texts;
    testsupport::RecordingMessageSink messages;
    znt::NullDownloadView view;
    ov::InetControl inet;
    CopyingExtractor extractor;
    znt::DiskFileOps files;
    std::vector<znt::InstallEvent> events;
    znt::InstallContext c{
        .installFolder = inst,
        .cacheFolder = inst + "\\core\\cache\\",
        .packages = packages,
        .english = true,
        .texts = texts,
        .messages = messages,
        .title = "Title",
        .view = view,
        .inet = inet,
        .source = {false, source, ""},
        .extractor = extractor,
        .files = files,
        .patcher = {},
        .report = [this](const znt::InstallEvent& e) { events.push_back(e); },
    };
};

}  // namespace wintest
