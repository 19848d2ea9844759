#pragma once

// The application language pack: <application folder>\Languages\<XX>-ZNT.lng,
// a header (font character set, display name) followed by index/text pairs.

#include "OVShared/Platform/MessageBox.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

constexpr int kAppTextCount = 8001;  // indices 0 to 8000

struct AppTexts {
    std::vector<std::string> text = std::vector<std::string>(kAppTextCount);  // UTF-8
    int charset = 0;          // font character set of the pack (0 Western, 161 Greek)
    std::string displayName;  // the language's name as the pack gives it

    // The text at index, or an empty text outside 0 to 8000.
    const std::string& operator[](int index) const;
};

enum class PackLoadResult { Ok, Missing, Corrupt };

// The language label and button are drawn with the Greek character set
// whatever the pack, so their bytes are always read as Windows-1253 (the
// English pack names the other language, "Ελληνικά", in Greek letters).
constexpr int kLanguageControlCharset = 161;

// Packs larger than this are refused as corrupt.
constexpr std::size_t kMaxPackBytes = 16u << 20;

// Fixed texts shown when the application pack cannot be used.
inline constexpr const char* kPackErrorTitle = "Error loading application.";
inline constexpr const char* kPackErrorText =
    "Language pack not found or is corrupt, program will be terminated.";
inline constexpr const char* kPackProblemText = "Language pack problem detected.";

// <appFolder>\Languages\ + first two characters of the setting + "-ZNT.lng".
std::string ApplicationPackPath(std::string_view appFolder, std::string_view languageSetting);

// Loads the pack named by the language setting into texts. Indices the pack
// does not set keep their earlier texts. Missing: the file cannot be read.
// Corrupt: no header, an index without its text, an index outside 0 to 8000,
// control bytes other than tabs and line breaks in a text (a NUL byte, say), a
// quote that never closes, or an oversized file. On either failure texts is
// left as it was; the caller shows kPackErrorText and ends the program.
PackLoadResult LoadLanguagePack(AppTexts& texts, std::string_view appFolder,
                                std::string_view languageSetting);

// True when the setting, upper-cased, is "ENGLISH.LNG".
bool IsEnglishSetting(std::string_view languageSetting);

// "Greek.lng" after an English setting, "English.lng" after anything else.
std::string ToggledLanguageSetting(std::string_view languageSetting);

// pattern with the first "%1", "%2", ... replaced by the arguments in order.
std::string FillText(std::string_view pattern, std::initializer_list<std::string> args);

// The standard buttons of message and input boxes captioned in the pack's
// language, so that a Greek box never says "Yes" or "OK". A caption the
// pack lacks stays empty: the toolkit's own is kept.
ov::MsgButtonLabels MessageButtonLabels(const AppTexts& texts);

}  // namespace znt
