#include "catalogue/CatalogueWriter.h"

#include "OVShared/Platform/CodePage.h"

#include <algorithm>

namespace znt {
namespace {

constexpr auto kCodePage = ov::CodePage::Windows1253;

class Writer {
public:
    explicit Writer(std::string& out) : out_(out) {}

    void Int(std::int32_t v) { Item(std::to_string(v)); }
    void Bool(bool v) { Item(v ? "#TRUE#" : "#FALSE#"); }
    void EndLine() {
        out_ += "\r\n";
        first_ = true;
    }
    // False when the text cannot be written; error then says why.
    bool Text(const std::string& utf8, const std::string& where, std::string& error) {
        std::string problem = CatalogueTextProblem(utf8);
        if (!problem.empty()) {
            error = where + ": " + problem;
            return false;
        }
        Item('"' + ov::EncodeFromUtf8(utf8, kCodePage) + '"');
        return true;
    }

private:
    void Item(const std::string& item) {
        if (!first_) out_ += ',';
        out_ += item;
        first_ = false;
    }

    std::string& out_;
    bool first_ = true;
};

bool WriteFileRecord(Writer& w, const PackageFileEntry& f, const std::string& where,
                     std::string& error) {
    w.Int(f.ProductVersionLow);
    w.Int(f.ArchiveSize);
    w.Int(f.SizeBytes);
    if (!w.Text(f.ArchiveName, where + " ArchiveName", error)) return false;
    if (!w.Text(f.FileName, where + " FileName", error)) return false;
    w.Int(f.CheckMode);
    w.EndLine();
    return true;
}

bool WritePackageFields(Writer& w, const PackageEntry& p, const std::string& where,
                        std::string& error) {
    w.Int(p.Code);
    w.Int(p.ReservedNumber);
    const std::pair<const std::string*, const char*> texts[] = {
        {&p.DescriptionEnglish, "DescriptionEnglish"},
        {&p.DescriptionGreek, "DescriptionGreek"},
        {&p.NameEnglish, "NameEnglish"},
        {&p.NameGreek, "NameGreek"},
        {&p.Version, "Version"}};
    for (const auto& [text, name] : texts) {
        if (!w.Text(*text, where + " " + name, error)) return false;
    }
    w.Bool(p.ReservedFlag);
    w.EndLine();
    return true;
}

bool WritePackage(Writer& w, const PackageEntry& p, const std::string& where, std::string& error) {
    w.Int(static_cast<std::int32_t>(p.Files.size()));
    w.EndLine();
    for (size_t j = 0; j < p.Files.size(); ++j) {
        std::string file = where + " file " + std::to_string(j + 1);
        if (!WriteFileRecord(w, p.Files[j], file, error)) return false;
    }
    if (!WritePackageFields(w, p, where, error)) return false;
    return WriteFileRecord(w, p.AltFile, where + " AltFile", error);
}

}  // namespace

std::string CatalogueTextProblem(const std::string& text) {
    if (text.find('"') != std::string::npos) return "a text cannot hold a double quote";
    if (std::any_of(text.begin(), text.end(),
                    [](char c) { return static_cast<unsigned char>(c) < 0x20; })) {
        return "a text cannot hold a control character or line break";
    }
    if (!ov::IsEncodable(text, kCodePage)) {
        return "text holds a character that Windows-1253 cannot represent";
    }
    return {};
}

bool FormatCatalogue(const Packages& packages, std::string& out, std::string& error) {
    out.clear();
    Writer w(out);
    w.Int(packages.PackageCount());
    w.EndLine();
    for (std::int32_t i = 1; i <= packages.PackageCount(); ++i) {
        if (!WritePackage(w, packages.Package(i), "package " + std::to_string(i), error)) {
            return false;
        }
    }
    return true;
}

}  // namespace znt
