#pragma once

// Shared pieces of the install tests: a recording download window, a fake
// extractor, a file-operation seam that refuses chosen replaces, and a
// fixture with an installation folder (its name holds a blank), a loopback
// update server and an install context over all of them.

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "i18n/LanguagePack.h"
#include "install/DownloadView.h"
#include "install/InstallContext.h"
#include "install/InstallFiles.h"
#include "support/Env.h"
#include "support/LoopbackServer.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace installtest {

using znt::DownloadControl;

class RecordingDownloadView : public znt::DownloadView {
public:
    void SetText(DownloadControl c, const std::string& text) override { texts[c].push_back(text); }
    void SetValue(DownloadControl bar, int value) override { values[bar].push_back(value); }
    void SetVisible(DownloadControl c, bool v) override { visible[c] = v; }
    void SetEnabled(DownloadControl c, bool e) override { enabled[c] = e; }
    znt::CancelButton& Cancel() override { return cancel; }

    // cmdCancel's click as the window handles it.
    void ClickCancel() {
        enabled[DownloadControl::cmdCancel] = false;
        cancel.Press();
    }
    std::string Last(DownloadControl c) const {
        auto it = texts.find(c);
        return it == texts.end() || it->second.empty() ? std::string() : it->second.back();
    }
    std::vector<int> Values(DownloadControl bar) const {
        auto it = values.find(bar);
        return it == values.end() ? std::vector<int>{} : it->second;
    }

    std::map<DownloadControl, std::vector<std::string>> texts;
    std::map<DownloadControl, std::vector<int>> values;
    std::map<DownloadControl, bool> visible;
    std::map<DownloadControl, bool> enabled;
    znt::CancelButton cancel;
};

// The test archives hold the new file's bytes as they are: extraction writes
// them to folder + the archive's name without ".zip". An archive starting
// with "BROKEN" extracts nothing, for the reason "broken"; with throws set,
// every extraction throws.
class FakeExtractor : public znt::ArchiveExtractor {
public:
    int Extract(const std::string& archive, const std::string& folder, std::uint64_t maxFileBytes,
                std::string& reason) override {
        calls.push_back(znt::LastPathPart(archive));
        if (throws) throw std::runtime_error("extraction library failed");
        limits.push_back(maxFileBytes);
        auto bytes = ov::ReadWholeFile(archive);
        reason = "broken";
        if (!bytes || bytes->rfind("BROKEN", 0) == 0) return 1;
        return ov::WriteFileAtomic(folder + znt::ArchiveStem(znt::LastPathPart(archive)), *bytes)
                   ? 0
                   : 1;
    }
    std::vector<std::string> calls;
    bool throws = false;
    std::vector<std::uint64_t> limits;  // the bound each call was given
};

// The real file system, except that a replace (or rename) over a refused target fails
// (as for a file in use on Windows), an undeletable file stays and the
// presence of an untestable path cannot be told.
class RefusingFileOps : public znt::DiskFileOps {
public:
    bool Replace(const std::string& from, const std::string& to) override {
        if (beforeReplace) beforeReplace(to);
        if (refused.count(ov::NativePath(to))) return false;
        return DiskFileOps::Replace(from, to);
    }
    bool Move(const std::string& from, const std::string& to) override {
        if (refused.count(ov::NativePath(to))) return false;
        if (beforeReplace) beforeReplace(to);
        const bool moved = DiskFileOps::Move(from, to);
        if (moved && afterMove) afterMove(to);
        return moved;
    }
    void Delete(const std::string& path) override {
        if (!undeletable.count(ov::NativePath(path))) DiskFileOps::Delete(path);
    }
    std::optional<bool> Present(const std::string& path) override {
        if (untestable.count(ov::NativePath(path))) return std::nullopt;
        return DiskFileOps::Present(path);
    }
    std::set<std::string> refused;                             // native paths
    std::set<std::string> undeletable;                         // native paths
    std::set<std::string> untestable;                          // native paths
    std::function<void(const std::string& to)> beforeReplace;  // of a copy or a rename
    std::function<void(const std::string& to)> afterMove;      // once a rename is done
};

struct PatcherCall {
    std::string updater;
    std::string arguments;
};

class InstallTest : public testing::Test {
protected:
    InstallTest() {
        testsupport::SetEnv("no_proxy", "127.0.0.1");
        for (int i : {11, 201, 202, 204, 205, 206, 609, 612}) Text(i);
        for (int s = 1; s <= 12; ++s) Text(620 + s);
        std::filesystem::create_directories(tmp.file("inst dir/core/cache"));
    }
    ~InstallTest() override { ov::SetYieldHook(nullptr); }

    // Text i reads "T<i>".
    void Text(int i) { texts.text[i] = "T" + std::to_string(i); }

    // A size-checked entry whose archive is named after the file and holds content.
    static znt::PackageFileEntry Entry(const std::string& fileName, const std::string& content) {
        znt::PackageFileEntry f;
        f.FileName = fileName;
        f.CheckMode = 1;
        f.SizeBytes = static_cast<std::int32_t>(content.size());
        f.ArchiveName = znt::LastPathPart(fileName) + ".zip";
        f.ArchiveSize = static_cast<std::int32_t>(content.size());
        return f;
    }
    // Adds a marked package of those entries; each archive is served unless serve is false.
    void AddPackage(const std::vector<std::pair<std::string, std::string>>& files,
                    bool marked = true, bool serve = true) {
        znt::PackageEntry p;
        p.Marked = marked;
        p.NameEnglish = "Beam Designer";
        for (const auto& [name, content] : files) {
            p.Files.push_back(Entry(name, content));
            p.SizeBytes += static_cast<std::int32_t>(content.size());
            if (serve) server.Serve(ArchivePath(p.Files.back().ArchiveName), content);
        }
        p.FileCount = static_cast<std::int32_t>(p.Files.size());
        packages.entries.push_back(std::move(p));
    }
    static std::string ArchivePath(const std::string& archiveName) {
        return "/ovw2010/files/" + archiveName;
    }
    // Native path of a file below the installation folder.
    std::string Installed(const std::string& relative) const {
        return tmp.file("inst dir/" + relative);
    }
    std::vector<std::string> CacheEntries() const {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(tmp.file("inst dir/core/cache"))) {
            names.push_back(e.path().filename().string());
        }
        return names;
    }

    testsupport::TempDir tmp;
    testsupport::LoopbackServer server;
    znt::AppTexts texts;
    znt::Packages packages;
    testsupport::RecordingMessageSink messages;
    RecordingDownloadView view;
    ov::InetControl inet;
    FakeExtractor extractor;
    RefusingFileOps files;
    std::vector<PatcherCall> patcherCalls;
    std::vector<std::string> events;               // "<kind> <name below the installation>"
    std::vector<std::string> reasons;              // "<event>: <reason>" of the events with one
    std::vector<std::chrono::milliseconds> waits;  // before each retry
    std::string installFolder = tmp.path() + "/inst dir";
    znt::InstallContext c = ContextFor(inet);

    // A context over the fixture's installation, fakes and server whose
    // transfers go through control.
    znt::InstallContext ContextFor(ov::InetControl& control) {
        znt::InstallContext context{
            .installFolder = installFolder,
            .cacheFolder = installFolder + "\\core\\cache\\",
            .packages = packages,
            .english = true,
            .texts = texts,
            .messages = messages,
            .title = "Title",
            .view = view,
            .inet = control,
            .source = {true, "", server.Url()},
            .extractor = extractor,
            .files = files,
            .patcher =
                [this](const std::string& u, const std::string& a) {
                    patcherCalls.push_back({u, a});
                },
            .report =
                [this](const znt::InstallEvent& e) {
                    events.push_back(EventText(e));
                    if (!e.reason.empty()) reasons.push_back(EventText(e) + ": " + e.reason);
                },
        };
        // Waits before a retry are recorded, not waited.
        context.retry.wait = [this](std::chrono::milliseconds wait, const std::function<bool()>&) {
            waits.push_back(wait);
            return true;
        };
        return context;
    }

    std::string EventText(const znt::InstallEvent& e) const {
        static const char* const kinds[] = {"fetched",    "failed",  "not-extracted", "placed",
                                            "not-placed", "patcher", "staged",        "skipped",
                                            "delta",      "no-delta"};
        std::string name = e.name;
        if (name.rfind(installFolder + "\\", 0) == 0) name.erase(0, installFolder.size() + 1);
        return std::string(kinds[static_cast<int>(e.kind)]) + " " + name;
    }
};

}  // namespace installtest
