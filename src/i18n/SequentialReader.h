#pragma once

// Reads the comma- and line-separated item files that language packs and
// catalogues use: numbers as decimal text, texts in double quotes (a text
// ends at the next quote and cannot hold one), Booleans as #TRUE# / #FALSE#.
// Items may be spread over any number of lines. Texts come back as the raw
// single-byte content; callers decode them.
//
// Separators are a comma or a line break (CR LF, LF or CR). Spaces, tabs and
// line breaks before an item are skipped, so blank lines carry no items; two
// commas in a row enclose an empty item. A quoted text ends at the next quote
// wherever it is, so it may hold commas, tabs and line breaks; only blanks may
// follow the closing quote before the separator. A quote that never closes
// makes a malformed item that takes the rest of the data with it.
// A text without quotes runs up to the next separator, trailing blanks cut.
// A number with a fraction goes to the nearest whole number (a half to the
// even one); a number outside the 32-bit signed range is not a number.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace znt {

class SequentialReader {
public:
    explicit SequentialReader(std::string_view bytes) : data_(bytes) {}

    // True when only blanks and separators are left.
    bool AtEnd();

    // Each read consumes one item and its separator. Nothing is returned
    // when the next item is missing or not of the asked kind; the reader
    // then moves past the malformed item so that reading can go on.
    std::optional<std::int32_t> ReadInt();
    std::optional<std::string> ReadText();
    std::optional<bool> ReadBool();

    // Bytes not yet consumed.
    std::size_t Remaining() const { return data_.size() - pos_; }

private:
    enum class ItemKind { None, Quoted, Bare, Malformed };
    struct Item {
        ItemKind kind;
        std::string_view content;
    };

    Item NextItem();
    Item QuotedItem();
    void SkipBlanks();
    void SkipSeparator();
    std::size_t FindSeparator(std::size_t from) const;

    std::string_view data_;
    std::size_t pos_ = 0;
    // Position of an item character found by AtEnd, so that repeated calls
    // over a long run of separators stay linear.
    std::size_t nextContent_ = std::string_view::npos;
};

}  // namespace znt
