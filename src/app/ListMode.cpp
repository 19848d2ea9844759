#include "app/ListMode.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/MessageBox.h"
#include "app/CommandLine.h"
#include "catalogue/PackageLists.h"
#include "catalogue/Retrieval.h"
#include "i18n/LanguagePack.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <optional>
#include <random>

namespace znt {
namespace {

constexpr int kTitleText = 1;
constexpr int kFetchFailedText = 600;
constexpr int kFolderAttempts = 16;
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// English texts for an installation whose language pack is missing.
void FillFallbackTexts(AppTexts& texts) {
    const std::pair<int, const char*> fallbacks[] = {
        {kTitleText, "Orvantis live update"},
        {210, "No installed packages can be removed."},
        {kFetchFailedText, "The package list could not be fetched."},
        {610, "All installed packages are up to date."}};
    for (const auto& [index, text] : fallbacks) {
        auto& slot = texts.text[static_cast<size_t>(index)];
        if (slot.empty()) slot = text;
    }
}

class StreamMessageSink : public ov::MessageSink {
public:
    explicit StreamMessageSink(std::ostream& err) : err_(err) {}
    ov::MsgResult Show(const std::string& text, const std::string&, ov::MsgIcon,
                       ov::MsgButtons) override {
        err_ << text << '\n';
        return ov::MsgResult::Ok;
    }
    std::optional<std::string> InputBox(const std::string&, const std::string&) override {
        return std::nullopt;
    }

private:
    std::ostream& err_;
};

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
            std::snprintf(name, sizeof name, "zntr-list-%016llx",
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

// Text before the last separator of either kind; empty when there is none.
std::string ParentOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void PrintRows(const char* kind, const ListContext& c, const RowListView& view,
               std::ostream& out) {
    for (std::int32_t k = 1; k <= c.listMap.ListMapCount(); ++k) {
        const PackageEntry& p = c.packages.Package(c.listMap.PackageAt(k));
        out << kind << '\t' << p.Code << '\t' << OneRowText(view.rows[static_cast<size_t>(k) - 1])
            << '\n';
    }
}

// Nothing (after a message) when the server address is unusable.
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

AppTexts TextsFor(const std::string& appFolder, bool english) {
    AppTexts texts;
    LoadLanguagePack(texts, appFolder, english ? "ENGLISH.LNG" : "GREEK.LNG");
    FillFallbackTexts(texts);
    return texts;
}

// The catalogue's bytes, fetched into a private folder that is gone on return.
std::optional<std::string> FetchPrivateCopy(const CatalogueSource& source, std::ostream& err) {
    PrivateFolder folder;
    if (folder.path().empty()) {
        err << "LIST: no private folder could be made in " << ov::SystemTempFolder() << '\n';
        return std::nullopt;
    }
    ov::InetControl inet;
    if (!FetchCatalogue(source, folder.path(), inet)) return std::nullopt;
    return ov::ReadWholeFile(folder.path() + "\\packages.dat", kMaxCatalogueBytes);
}

// Builds both lists from the parsed catalogue, reading the installation only.
void PrintLists(const Packages& catalogue, const std::string& appFolder, bool english,
                const AppTexts& texts, std::ostream& out, std::ostream& err) {
    Packages packages = catalogue;
    ListMap listMap;
    StreamMessageSink messages(err);
    ov::NullProgressView progress;
    RowListView view;
    ListContext c{appFolder, packages, listMap, english, texts, messages, progress, view};
    MarkUpdates(packages, appFolder);
    FillInstallList(c);
    PrintRows("INSTALL", c, view, out);
    packages = catalogue;
    FillUninstallList(c);
    PrintRows("UNINSTALL", c, view, out);
}

int ListInstallation(const std::string& commandLine, const std::string& programPath,
                     std::ostream& out, std::ostream& err) {
    const std::string appFolder = ParentOf(ParentOf(programPath));
    const bool english = HasEnglishSwitch(commandLine);
    const AppTexts texts = TextsFor(appFolder, english);
    auto source = SourceOf(commandLine, err);
    if (!source) return kListBadServer;
    std::optional<std::string> bytes = FetchPrivateCopy(*source, err);
    if (!bytes) {
        err << texts[kFetchFailedText] << '\n';
        return kListFetchFailed;
    }
    PrintLists(ParseCatalogue(*bytes), appFolder, english, texts, out, err);
    if (!out.flush()) {
        err << "LIST: the listing could not be written to standard output.\n";
        return kListWriteFailed;
    }
    return kListOk;
}

bool IsC1Control(unsigned char lead, unsigned char next) {
    return lead == 0xC2 && next >= 0x80 && next <= 0x9F;
}

bool IsLineSeparator(std::string_view rest) {
    return rest.size() >= 3 && rest.substr(0, 2) == "\xE2\x80" &&
           (rest[2] == '\xA8' || rest[2] == '\xA9');
}

}  // namespace

std::string OneRowText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const auto next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F) {
            out += kReplacement;
        } else if (IsC1Control(c, next)) {
            out += kReplacement;
            ++i;
        } else if (IsLineSeparator(utf8.substr(i))) {
            out += kReplacement;
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int RunListMode(const std::string& commandLine, const std::string& programPath,
                std::ostream& out, std::ostream& err) {
    try {
        return ListInstallation(commandLine, programPath, out, err);
    } catch (const std::exception& e) {
        // The private folder has been removed on the way out.
        err << "LIST: " << e.what() << '\n';
        return kListFetchFailed;
    }
}

}  // namespace znt
