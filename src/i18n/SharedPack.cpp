#include "i18n/SharedPack.h"

#include "OVShared/Platform/AsciiText.h"
#include "OVShared/Platform/CodePage.h"
#include "OVShared/Platform/FileSystem.h"
#include "i18n/DecimalText.h"

#include <algorithm>
#include <optional>
#include <utility>

namespace znt {
namespace {

constexpr std::uint64_t kMaxSharedPackBytes = 16u << 20;
constexpr std::string_view kDefaultBlock = "DEFAULT";

bool Contains(std::string_view list, char c) { return list.find(c) != std::string_view::npos; }

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string CollapseSpaces(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c != ' ' || out.empty() || out.back() != ' ') out += c;
    }
    return out;
}

// Drops every run of spaces that touches a character of charList.
std::string DropSpacesAround(std::string_view s, std::string_view charList) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        if (s[i] != ' ') {
            out += s[i++];
            continue;
        }
        std::size_t j = std::min(s.find_first_not_of(' ', i), s.size());
        bool touches = (j < s.size() && Contains(charList, s[j])) ||
                       (!out.empty() && Contains(charList, out.back()));
        if (!touches) out.append(j - i, ' ');
        i = j;
    }
    return out;
}

// Walks the pack's lines from a byte offset; each line comes back with its
// tabs removed and its outer spaces trimmed.
class LineCursor {
public:
    LineCursor(std::string_view bytes, std::size_t from)
        : bytes_(bytes), pos_(std::min(from, bytes.size())) {}

    bool Next(std::string& cleaned) {
        if (pos_ >= bytes_.size()) return false;
        std::size_t end = std::min(bytes_.find_first_of("\r\n", pos_), bytes_.size());
        std::string_view raw = bytes_.substr(pos_, end - pos_);
        pos_ = end;
        if (pos_ < bytes_.size() && bytes_[pos_++] == '\r' && pos_ < bytes_.size() &&
            bytes_[pos_] == '\n') {
            ++pos_;
        }
        cleaned = StripChars(raw, "\t");
        cleaned = std::string(TrimSpaces(cleaned));
        return true;
    }

    // 1-based offset of the line after the one last returned.
    std::size_t NextLinePosition() const { return pos_ + 1; }

private:
    std::string_view bytes_;
    std::size_t pos_;
};

std::string Decode(std::string_view bytes) {
    return ov::DecodeToUtf8(bytes, ov::CodePage::Windows1253);
}

bool IsSectionHeader(std::string_view line) { return line.front() == '[' && line.back() == ']'; }
bool IsBlockHeader(std::string_view line) { return line.front() == '{' && line.back() == '}'; }
bool IsComment(std::string_view line) { return line.front() == ';' || line.front() == '\''; }

std::string SectionName(std::string_view line) {
    return StripChars(NormalizeKey(Decode(line), true, true, true, ""), "[]");
}

// Applies a block header to the open section; true when it names the wanted
// language, which settles the section.
bool ApplyBlock(std::string_view line, std::string_view language, std::size_t position,
                SharedPackIndex::Section& section) {
    std::string names = NormalizeKey(StripChars(Decode(line), "{}"), true, true, true, "|");
    std::string_view rest = names;
    for (;;) {
        std::size_t bar = std::min(rest.find('|'), rest.size());
        std::string_view name = rest.substr(0, bar);
        if (name == language) {
            section.position = position;
            return true;
        }
        if (name == kDefaultBlock) section.position = position;
        if (bar == rest.size()) return false;
        rest.remove_prefix(bar + 1);
    }
}

void StoreTextLine(std::string_view line, SectionTexts& table) {
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return;
    auto number = ParseRoundedInt(TrimSpaces(line.substr(0, equals)));
    if (!number || *number < 1 || *number >= kSectionTextCount) return;
    table[static_cast<std::size_t>(*number)] = Decode(line.substr(equals + 1));
}

}  // namespace

std::string StripChars(std::string_view text, std::string_view charList) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (!Contains(charList, c)) out += c;
    }
    return out;
}

std::string NormalizeKey(std::string_view text, bool toUpper, bool trim, bool collapse,
                         std::string_view charList) {
    std::string s = toUpper ? ov::AsciiUpper(text) : std::string(text);
    if (trim) s = std::string(TrimSpaces(s));
    if (collapse) s = CollapseSpaces(s);
    if (!charList.empty()) s = DropSpacesAround(s, charList);
    return s;
}

bool SharedPackIndex::Build(std::string_view packPath, std::string_view languageName) {
    path_ = packPath;
    language_ = NormalizeKey(languageName, true, true, true, "");
    sections_.clear();
    auto bytes = ov::ReadWholeFile(path_, kMaxSharedPackBytes);
    if (!bytes) return true;
    LineCursor lines(*bytes, 0);
    std::string line;
    bool settled = true;  // no section open yet, or its wanted block already found
    while (lines.Next(line)) {
        if (line.size() < 3) continue;
        if (IsSectionHeader(line)) {
            sections_.push_back({SectionName(line), 0});
            settled = false;
        } else if (!settled && IsBlockHeader(line)) {
            settled = ApplyBlock(line, language_, lines.NextLinePosition(), sections_.back());
        }
    }
    return true;
}

bool SharedPackIndex::LoadSection(std::string_view sectionName, SectionTexts& table) const {
    std::string key = NormalizeKey(sectionName, true, true, true, "");
    auto section = std::find_if(sections_.begin(), sections_.end(),
                                [&](const Section& s) { return s.name == key; });
    if (section == sections_.end() || section->position == 0) return false;
    auto bytes = ov::ReadWholeFile(path_, kMaxSharedPackBytes);
    if (!bytes) return false;
    SectionTexts fresh(kSectionTextCount);
    LineCursor lines(*bytes, section->position - 1);
    std::string line;
    while (lines.Next(line)) {
        if (line.size() < 3 || IsComment(line)) continue;
        if (IsSectionHeader(line) || IsBlockHeader(line)) break;
        StoreTextLine(line, fresh);
    }
    table = std::move(fresh);
    return true;
}

}  // namespace znt
