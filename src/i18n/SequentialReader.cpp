#include "i18n/SequentialReader.h"

#include "OVShared/Platform/AsciiText.h"
#include "i18n/DecimalText.h"

namespace znt {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

std::string_view TrimBlanksRight(std::string_view s) {
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

}  // namespace

bool SequentialReader::AtEnd() {
    if (nextContent_ != std::string_view::npos && pos_ <= nextContent_) return false;
    std::size_t i = pos_;
    while (i < data_.size() && (IsBlank(data_[i]) || IsLineBreak(data_[i]) || data_[i] == ',')) {
        ++i;
    }
    if (i == data_.size()) {
        pos_ = i;
        return true;
    }
    nextContent_ = i;
    return false;
}

std::optional<std::int32_t> SequentialReader::ReadInt() {
    Item item = NextItem();
    if (item.kind != ItemKind::Bare) return std::nullopt;
    return ParseRoundedInt(item.content);
}

std::optional<std::string> SequentialReader::ReadText() {
    Item item = NextItem();
    if (item.kind != ItemKind::Bare && item.kind != ItemKind::Quoted) return std::nullopt;
    return std::string(item.content);
}

std::optional<bool> SequentialReader::ReadBool() {
    Item item = NextItem();
    if (item.kind != ItemKind::Bare) return std::nullopt;
    if (ov::EqualsNoCase(item.content, "#TRUE#")) return true;
    if (ov::EqualsNoCase(item.content, "#FALSE#")) return false;
    return std::nullopt;
}

SequentialReader::Item SequentialReader::NextItem() {
    SkipBlanks();
    if (pos_ >= data_.size()) return {ItemKind::None, {}};
    if (data_[pos_] == '"') return QuotedItem();
    std::size_t end = FindSeparator(pos_);
    std::string_view content = TrimBlanksRight(data_.substr(pos_, end - pos_));
    pos_ = end;
    SkipSeparator();
    return {ItemKind::Bare, content};
}

SequentialReader::Item SequentialReader::QuotedItem() {
    std::size_t start = pos_ + 1;
    std::size_t close = data_.find('"', start);
    if (close == std::string_view::npos) {
        // Everything after an unclosed quote would belong to it, so nothing
        // there is an item; one search and one jump keep this linear.
        pos_ = data_.size();
        return {ItemKind::Malformed, {}};
    }
    std::size_t end = FindSeparator(close + 1);
    bool clean = TrimBlanksRight(data_.substr(close + 1, end - close - 1)).empty();
    pos_ = end;
    SkipSeparator();
    if (!clean) return {ItemKind::Malformed, {}};
    return {ItemKind::Quoted, data_.substr(start, close - start)};
}

void SequentialReader::SkipBlanks() {
    while (pos_ < data_.size() && (IsBlank(data_[pos_]) || IsLineBreak(data_[pos_]))) ++pos_;
}

void SequentialReader::SkipSeparator() {
    if (pos_ >= data_.size()) return;
    char c = data_[pos_++];
    if (c == '\r' && pos_ < data_.size() && data_[pos_] == '\n') ++pos_;
}

std::size_t SequentialReader::FindSeparator(std::size_t from) const {
    while (from < data_.size() && data_[from] != ',' && !IsLineBreak(data_[from])) ++from;
    return from;
}

}  // namespace znt
