#pragma once

// Reads the comma- and line-separated item files that language packs and
// catalogues use: numbers as decimal text, texts in double quotes (a text
// ends at the next quote and cannot hold one), Booleans as #TRUE# / #FALSE#.
// Items may be spread over any number of lines. Texts come back as the raw
// single-byte content; callers decode them.

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
    std::string_view data_;
    std::size_t pos_ = 0;
};

}  // namespace znt
