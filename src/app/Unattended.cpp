#include "app/Unattended.h"

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/RegistryStore.h"
#include "app/CommandLine.h"
#include "install/DownloadView.h"
#include "install/FetchFromSource.h"
#include "install/InstallRun.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <random>

namespace znt {
namespace {

constexpr int kTitleText = 1;
constexpr int kFolderAttempts = 16;

// English texts for an installation whose language pack is missing.
void FillFallbackTexts(AppTexts& texts) {
    const std::pair<int, const char*> fallbacks[] = {
        {kTitleText, "Orvantis live update"},
        {4, "Orvantis live update is already running."},
        {208, "Some files could not be removed."},
        {210, "No installed packages can be removed."},
        {600, "The package list could not be fetched."},
        {609, "A new version of the program has been staged; start it again to finish."},
        {610, "All installed packages are up to date."},
        {612, "The installation has finished."},
        {kTextCatalogueUntrusted,
         "The package list is not signed by the trusted key, or it or its checksums were "
         "changed, so it was not used."},
        {kTextArchiveUntrusted,
         "A downloaded package file does not match the signed package list. Nothing was "
         "installed."},
        {kTextJournalNotWritten,
         "The installation could not be recorded on disk, so nothing was installed. The "
         "downloaded files are kept for the next attempt."},
        {kTextInstallStopped,
         "The installation stopped because of an unexpected error. Files not installed yet "
         "keep their old version."},
        {kTextLockUnavailable,
         "The installation could not be locked for this run (its lock file in the core folder "
         "cannot be made or opened), so nothing was changed."},
        {kTextOneFileNotInstalled,
         "The installation ended, but one file was not installed. The install log %2 names "
         "it and says why."},
        {kTextFilesNotInstalled,
         "The installation ended, but %1 files were not installed. The install log %2 names "
         "them and says why."}};
    for (const auto& [index, text] : fallbacks) {
        auto& slot = texts.text[static_cast<size_t>(index)];
        if (slot.empty()) slot = text;
    }
}

// Text before the last separator of either kind; empty when there is none.
std::string ParentOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

// A folder of this run alone below the system's temporary folder, removed
// with its contents when the object goes. Like mkdtemp: a random name, and a
// name that already exists is never taken over.
class PrivateFolder {
public:
    PrivateFolder() {
        namespace fs = std::filesystem;
        std::random_device seed;
        std::mt19937_64 random((std::uint64_t{seed()} << 32) ^ seed());
        for (int attempt = 0; attempt < kFolderAttempts && path_.empty(); ++attempt) {
            char name[40];
            std::snprintf(name, sizeof name, "zntr-run-%016llx",
                          static_cast<unsigned long long>(random()));
            fs::path candidate = fs::path(ov::SystemTempFolder()) / name;
            std::error_code ec;
            if (!fs::create_directory(candidate, ec)) continue;  // taken or not creatable
            fs::permissions(candidate, fs::perms::owner_all, ec);
            path_ = candidate.string();
        }
    }
    ~PrivateFolder() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove_all(path_, ec);
    }
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // Empty when no folder could be made.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace

UnattendedRun UnattendedRunOf(const std::string& commandLine, const std::string& programPath) {
    UnattendedRun run;
    run.appFolder = ParentOf(ParentOf(programPath));
    run.english = HasEnglishSwitch(commandLine);
    LoadLanguagePack(run.texts, run.appFolder, run.english ? "ENGLISH.LNG" : "GREEK.LNG");
    FillFallbackTexts(run.texts);
    run.title = run.texts[kTitleText];
    return run;
}

ov::MsgResult StreamMessageSink::Show(const std::string& text, const std::string&, ov::MsgIcon,
                                      ov::MsgButtons buttons) {
    // Line breaks stay; every other control character is replaced.
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = std::min(text.find('\n', start), text.size());
        std::string_view line(text.data() + start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        err_ << OneRowText(line) << '\n';
        start = end + 1;
    }
    return buttons == ov::MsgButtons::Ok || buttons == ov::MsgButtons::OkCancel
               ? ov::MsgResult::Ok
               : ov::MsgResult::Yes;
}

std::optional<std::string> StreamMessageSink::InputBox(const std::string&, const std::string&) {
    return std::nullopt;
}

std::optional<CatalogueSource> SourceOf(const std::string& commandLine, std::ostream& err) {
    CatalogueSource source;
    if (auto folder = SwitchValue(commandLine, "/SOURCE=")) {
        source.SourceIsInternet = false;
        source.SourceFolder = *folder;
        return source;
    }
    ServerBase server = UpdateServerBase(commandLine);
    if (!server.problem.empty()) {
        err << server.problem << '\n';
        return std::nullopt;
    }
    source.serverBase = server.url;
    return source;
}

std::optional<Packages> FetchPrivateCatalogue(const CatalogueSource& source,
                                              const UnattendedRun& run, const char* mode,
                                              std::ostream& err, ArchiveHashes* hashes) {
    PrivateFolder folder;
    if (folder.path().empty()) {
        err << mode << ": no private folder could be made in " << ov::SystemTempFolder() << '\n';
        return std::nullopt;
    }
    ov::InetControl inet;
    ov::RegistryStore store = ov::RegistryStore::Default();
    CatalogueFetchResult fetched =
        FetchCatalogue(source, folder.path(), inet, InstallationTrust(run.appFolder, store));
    CatalogueRead read;
    if (fetched.status == FetchStatus::Placed) {
        read = ReadCatalogueFile(folder.path() + "\\packages.dat");
    }
    if (fetched.status == FetchStatus::Untrusted) {
        err << run.texts[kTextCatalogueUntrusted] << '\n'
            << mode << ": " << fetched.problem << '\n';
        return std::nullopt;
    }
    if (!read.complete) {
        const std::string why = fetched.status == FetchStatus::Placed ? "damaged or cut short"
                                                                      : fetched.problem;
        err << run.texts[600] << '\n';
        if (!why.empty()) err << mode << ": " << OneRowText(why) << '\n';
        return std::nullopt;
    }
    if (hashes) *hashes = std::move(fetched.hashes);
    return std::move(read.packages);
}

}  // namespace znt
