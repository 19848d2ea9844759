// Random and mutated input for the pack readers: none of it may crash, hang
// or break the readers' promises. Seeds are fixed so failures reproduce.

#include "i18n/LanguagePack.h"
#include "i18n/SequentialReader.h"
#include "i18n/SharedPack.h"
#include "StageFolder.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::string_view kAlphabet =
    "\"\",,\r\n\n  \t0123456789-+.#TRUEFALS[]{}|=;'ab\x80\xE1\xFF";

std::string RandomBytes(std::mt19937& rng, std::size_t maxLength) {
    std::string s(std::uniform_int_distribution<std::size_t>(0, maxLength)(rng), '\0');
    std::uniform_int_distribution<int> pick(0, static_cast<int>(kAlphabet.size()) - 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (char& c : s) {
        c = rng() % 4 == 0 ? static_cast<char>(anyByte(rng))
                           : kAlphabet[static_cast<std::size_t>(pick(rng))];
    }
    return s;
}

// A few byte-level edits: overwrite, insert, delete, truncate, duplicate a range.
std::string Mutate(std::string s, std::mt19937& rng) {
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !s.empty(); ++e) {
        std::size_t at = rng() % s.size();
        std::size_t len = 1 + rng() % std::min<std::size_t>(64, s.size() - at);
        switch (rng() % 5) {
        case 0: s[at] = kAlphabet[rng() % kAlphabet.size()]; break;
        case 1: s.insert(at, 1, static_cast<char>(rng() % 256)); break;
        case 2: s.erase(at, len); break;
        case 3: s.resize(at); break;
        default: s.insert(at, s.substr(at, len)); break;
        }
    }
    return s;
}

std::vector<std::string> Seeds() {
    std::vector<std::string> seeds = {
        "0,\"English\"\r\n1,\"One, two\"\r\n2,\"x\"\r\n#TRUE#,-3.5\r\n",
        "; c\r\n[frmOVProgress]\r\n{ENGLISH|DEFAULT}\r\n1=Cancel\r\n{GREEK}\r\n 2 = y\r\n[b]\r\n",
    };
    for (const char* pack :
         {"/Languages/EN-ZNT.lng", "/Languages/GR-ZNT.lng", "/languages/ovshared.lng"}) {
        std::string bytes = testsupport::ReadFile(testsupport::StageFolder() + pack);
        if (!bytes.empty()) seeds.push_back(bytes);
    }
    return seeds;
}

// Reads items of random kinds to the end; every read must consume something.
void ExerciseReader(std::string_view bytes, std::mt19937& rng) {
    znt::SequentialReader reader(bytes);
    std::size_t steps = 0;
    while (!reader.AtEnd()) {
        std::size_t before = reader.Remaining();
        switch (rng() % 3) {
        case 0: reader.ReadInt(); break;
        case 1: reader.ReadText(); break;
        default: reader.ReadBool(); break;
        }
        ASSERT_LT(reader.Remaining(), before);
        ASSERT_LE(++steps, bytes.size());
    }
}

void ExercisePacks(const std::string& bytes, const testsupport::TempDir& dir,
                   znt::AppTexts& texts) {
    dir.write("Languages/EN-ZNT.lng", bytes);
    znt::LoadLanguagePack(texts, dir.path(), "ENGLISH.LNG");
    ASSERT_EQ(texts.text.size(), static_cast<std::size_t>(znt::kAppTextCount));

    dir.write("languages/ovshared.lng", bytes);
    znt::SharedPackIndex index;
    index.Build(dir.path() + "\\languages\\ovshared.lng", "GREEK");
    for (const auto& section : index.sections()) {
        znt::SectionTexts table;
        if (index.LoadSection(section.name, table)) {
            ASSERT_EQ(table.size(), static_cast<std::size_t>(znt::kSectionTextCount));
            ASSERT_TRUE(table[0].empty());
        }
    }
}

}  // namespace

TEST(PackFuzz, RandomBytesNeverBreakTheReaders) {
    std::mt19937 rng(20240611);
    testsupport::TempDir dir;
    znt::AppTexts texts;
    for (int i = 0; i < 1000; ++i) {
        std::string bytes = RandomBytes(rng, 512);
        ExerciseReader(bytes, rng);
        ExercisePacks(bytes, dir, texts);
        if (HasFatalFailure()) FAIL() << "input " << i;
    }
}

TEST(PackFuzz, MutatedPacksNeverBreakTheReaders) {
    std::mt19937 rng(7);
    testsupport::TempDir dir;
    znt::AppTexts texts;
    const auto seeds = Seeds();
    for (int i = 0; i < 1500; ++i) {
        std::string bytes = Mutate(seeds[static_cast<std::size_t>(i) % seeds.size()], rng);
        ExerciseReader(bytes, rng);
        ExercisePacks(bytes, dir, texts);
        if (HasFatalFailure()) FAIL() << "input " << i;
    }
}

TEST(PackFuzz, LongRunsOfSeparatorsStayLinear) {
    // Each comma encloses an empty item; AtEnd must not rescan them all each time.
    std::string commas(1u << 20, ',');
    commas += "x";
    znt::SequentialReader reader(commas);
    std::size_t reads = 0;
    while (!reader.AtEnd()) {
        reader.ReadText();
        ++reads;
    }
    EXPECT_EQ(reads, (1u << 20) + 1);
    std::string quotes(1u << 20, '"');
    znt::SequentialReader quoted(quotes);
    while (!quoted.AtEnd()) quoted.ReadText();
    EXPECT_EQ(quoted.Remaining(), 0u);
}
