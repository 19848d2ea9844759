#include "app/ListMode.h"

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/MessageBox.h"
#include "app/CommandLine.h"
#include "catalogue/PackageLists.h"
#include "catalogue/Retrieval.h"
#include "i18n/LanguagePack.h"

#include <optional>

namespace znt {
namespace {

constexpr int kTitleText = 1;
constexpr int kFetchFailedText = 600;

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

// Text before the last separator of either kind; empty when there is none.
std::string ParentOf(const std::string& path) {
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

void PrintRows(const char* kind, const ListContext& c, const RowListView& view,
               std::ostream& out) {
    for (std::int32_t k = 1; k <= c.listMap.ListMapCount(); ++k) {
        const PackageEntry& p = c.packages.Package(c.listMap.PackageAt(k));
        out << kind << '\t' << p.Code << '\t' << view.rows[static_cast<size_t>(k) - 1] << '\n';
    }
}

// Builds one list with a fresh catalogue read from bytes placed as packages.dat.
template <typename Build>
void ListOnce(const char* kind, ListContext& c, std::string_view bytes, Build build,
              std::ostream& out) {
    ov::WriteFileAtomic(c.installFolder + "\\packages.dat", bytes);
    RowListView view;
    ListContext mine{c.installFolder, c.packages, c.listMap, c.english,
                     c.texts,         c.messages, c.progress, view};
    build(mine);
    PrintRows(kind, mine, view, out);
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

}  // namespace

int RunListMode(const std::string& commandLine, const std::string& programPath,
                std::ostream& out, std::ostream& err) {
    const std::string appFolder = ParentOf(ParentOf(programPath));
    const bool english = HasEnglishSwitch(commandLine);
    const AppTexts texts = TextsFor(appFolder, english);
    auto source = SourceOf(commandLine, err);
    if (!source) return 2;
    ov::InetControl inet;
    if (!FetchCatalogue(*source, appFolder, inet)) {
        err << texts[kFetchFailedText] << '\n';
        return 1;
    }
    const std::string catalogue =
        ov::ReadWholeFile(appFolder + "\\packages.dat", kMaxCatalogueBytes).value_or("");

    Packages packages;
    ListMap listMap;
    StreamMessageSink messages(err);
    ov::NullProgressView progress;
    RowListView unused;
    ListContext c{appFolder, packages, listMap, english, texts, messages, progress, unused};
    ListOnce("INSTALL", c, catalogue, BuildInstallList, out);
    ListOnce("UNINSTALL", c, catalogue, BuildUninstallList, out);
    return 0;
}

}  // namespace znt
