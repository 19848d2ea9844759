#include "i18n/LanguagePack.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"
#include "i18n/SequentialReader.h"
#include "i18n/TextNumbers.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace znt {
namespace {

// A pack text is printable single-byte text; tabs and line breaks are text too.
bool IsPlainText(std::string_view text) {
    for (char c : text) {
        auto b = static_cast<unsigned char>(c);
        bool layout = b == '\t' || b == '\r' || b == '\n';
        if ((b < 0x20 && !layout) || b == 0x7F) return false;
    }
    return true;
}

ov::CodePage CodePageOfText(int index, int packCharset) {
    bool greekControl = index == kTextLanguageLabel || index == kTextLanguageButton;
    return ov::CodePageForCharset(greekControl ? kLanguageControlCharset : packCharset);
}

struct ParsedPack {
    int charset = 0;
    std::string displayName;
    std::vector<std::string> texts = std::vector<std::string>(kAppTextCount);  // decoded
    std::vector<bool> isSet = std::vector<bool>(kAppTextCount);
};

// Nothing when the pack is corrupt.
std::optional<ParsedPack> ParsePack(std::string_view bytes) {
    SequentialReader reader(bytes);
    auto charset = reader.ReadInt();
    auto name = reader.ReadText();
    if (!charset || !name || !IsPlainText(*name)) return std::nullopt;
    ParsedPack pack;
    pack.charset = *charset;
    pack.displayName = ov::DecodeToUtf8(*name, ov::CodePageForCharset(*charset));
    while (!reader.AtEnd()) {
        auto index = reader.ReadInt();
        if (!index || *index < 0 || *index >= kAppTextCount) return std::nullopt;
        auto text = reader.ReadText();
        if (!text || !IsPlainText(*text)) return std::nullopt;
        auto at = static_cast<std::size_t>(*index);
        pack.texts[at] = ov::DecodeToUtf8(*text, CodePageOfText(*index, *charset));
        pack.isSet[at] = true;
    }
    return pack;
}

}  // namespace

const std::string& AppTexts::operator[](int index) const {
    static const std::string empty;
    if (index < 0 || static_cast<std::size_t>(index) >= text.size()) return empty;
    return text[static_cast<std::size_t>(index)];
}

std::string ApplicationPackPath(std::string_view appFolder, std::string_view languageSetting) {
    std::string path(appFolder);
    path += "\\Languages\\";
    path += ov::AsciiUpper(languageSetting.substr(0, 2));
    path += "-ZNT.lng";
    return path;
}

PackLoadResult LoadLanguagePack(AppTexts& texts, std::string_view appFolder,
                                std::string_view languageSetting) {
    std::string path = ApplicationPackPath(appFolder, languageSetting);
    auto length = ov::FileLength(path);
    if (!length) return PackLoadResult::Missing;
    if (*length > kMaxPackBytes) return PackLoadResult::Corrupt;
    auto bytes = ov::ReadWholeFile(path, kMaxPackBytes);
    if (!bytes) return PackLoadResult::Missing;
    // Parsed in full before the table changes, so a corrupt pack changes nothing.
    auto pack = ParsePack(*bytes);
    if (!pack) return PackLoadResult::Corrupt;
    texts.charset = pack->charset;
    texts.displayName = std::move(pack->displayName);
    texts.text.resize(kAppTextCount);
    for (std::size_t i = 0; i < pack->texts.size(); ++i) {
        if (pack->isSet[i]) texts.text[i] = std::move(pack->texts[i]);
    }
    return PackLoadResult::Ok;
}

bool IsEnglishSetting(std::string_view languageSetting) {
    return ov::EqualsNoCase(languageSetting, "ENGLISH.LNG");
}

std::string ToggledLanguageSetting(std::string_view languageSetting) {
    return IsEnglishSetting(languageSetting) ? "Greek.lng" : "English.lng";
}

std::string FillText(std::string_view pattern, std::initializer_list<std::string> args) {
    // Marks are found in the pattern alone, so an argument that holds "%2"
    // (a folder name, say) is never filled in turn.
    struct Mark {
        std::size_t at;
        std::size_t length;
        const std::string* arg;
    };
    std::vector<Mark> marks;
    int n = 1;
    for (const std::string& arg : args) {
        const std::string mark = "%" + std::to_string(n++);
        std::size_t at = pattern.find(mark);
        if (at != std::string_view::npos) marks.push_back({at, mark.size(), &arg});
    }
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.at < b.at; });
    std::string out;
    std::size_t from = 0;
    for (const Mark& m : marks) {
        out.append(pattern.substr(from, m.at - from)).append(*m.arg);
        from = m.at + m.length;
    }
    return out.append(pattern.substr(from));
}

ov::MsgButtonLabels MessageButtonLabels(const AppTexts& texts) {
    return ov::MsgButtonLabels{texts[kTextOk], texts[kTextCancel], texts[kTextYes], texts[kTextNo]};
}

}  // namespace znt
