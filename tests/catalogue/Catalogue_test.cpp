#include "catalogue/Catalogue.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

using testsupport::TempDir;
using znt::Packages;
using znt::ParseCatalogue;

namespace {

// Two packages; the second has three files. "\xC1\xEB\xF6\xE1" is "Αλφα" in Windows-1253.
const std::string kTwoPackages =
    "2\r\n"
    "1\r\n"
    "131075,1200,5000,\"alpha.exe.zip\",\"bin\\alpha.exe\",0\r\n"
    "7,0,\"Alpha tool\",\"\xC1\xEB\xF6\xE1 desc\",\"Alpha\",\"\xC1\xEB\xF6\xE1\",\"2.1\",#TRUE#\r\n"
    "0,0,0,\"\",\"\",0\r\n"
    "3\r\n"
    "0,10,11,\"a.txt.zip\",\"help\\gr\\a.txt\",1\r\n"
    "0,20,21,\"b.txt.zip\",\"b.txt\",1\r\n"
    "5,30,31,\"c.dll.zip\",\"bin\\c.dll\",0\r\n"
    "60,-4,\"Beta EN\",\"Beta GR\",\"Beta\",\"BetaG\",\"\",#FALSE#\r\n"
    "1,2,3,\"alt.zip\",\"alt\\file\",1\r\n";

void ExpectTwoPackages(const Packages& c) {
    ASSERT_EQ(c.PackageCount(), 2);
    const auto& a = c.Package(1);
    ASSERT_EQ(a.FileCount, 1);
    EXPECT_EQ(a.File(1).ProductVersionLow, 131075);
    EXPECT_EQ(a.File(1).ArchiveSize, 1200);
    EXPECT_EQ(a.File(1).SizeBytes, 5000);
    EXPECT_EQ(a.File(1).ArchiveName, "alpha.exe.zip");
    EXPECT_EQ(a.File(1).FileName, "bin\\alpha.exe");
    EXPECT_EQ(a.File(1).CheckMode, 0);
    EXPECT_EQ(a.Code, 7);
    EXPECT_EQ(a.DescriptionEnglish, "Alpha tool");
    EXPECT_EQ(a.DescriptionGreek, "Αλφα desc");
    EXPECT_EQ(a.NameEnglish, "Alpha");
    EXPECT_EQ(a.NameGreek, "Αλφα");
    EXPECT_EQ(a.Version, "2.1");
    EXPECT_TRUE(a.ReservedFlag);
    EXPECT_FALSE(a.Marked);
    EXPECT_EQ(a.SizeBytes, 0);

    const auto& b = c.Package(2);
    ASSERT_EQ(b.FileCount, 3);
    EXPECT_EQ(b.File(1).FileName, "help\\gr\\a.txt");
    EXPECT_EQ(b.File(2).SizeBytes, 21);
    EXPECT_EQ(b.File(3).ProductVersionLow, 5);
    EXPECT_EQ(b.File(3).CheckMode, 0);
    EXPECT_EQ(b.Code, 60);
    EXPECT_EQ(b.ReservedNumber, -4);
    EXPECT_EQ(b.Version, "");
    EXPECT_EQ(b.AltFile.ArchiveName, "alt.zip");
    EXPECT_EQ(b.AltFile.FileName, "alt\\file");
    EXPECT_EQ(b.AltFile.CheckMode, 1);
}

std::string OneItemPerLine(const std::string& text) {
    std::string out;
    bool quoted = false;
    for (char c : text) {
        if (c == '"') quoted = !quoted;
        out += (c == ',' && !quoted) ? std::string("\r\n   ") : std::string(1, c);
    }
    return out;
}

}  // namespace

TEST(ParseCatalogue, ReadsEveryFieldInFileOrderWithEnglishBeforeGreek) {
    ExpectTwoPackages(ParseCatalogue(kTwoPackages));
}

TEST(ParseCatalogue, ItemsMayBeSpreadOverAnyLines) {
    ExpectTwoPackages(ParseCatalogue(OneItemPerLine(kTwoPackages)));
    std::string oneLine = kTwoPackages;
    for (size_t at; (at = oneLine.find("\r\n")) != std::string::npos;) oneLine.replace(at, 2, ",");
    ExpectTwoPackages(ParseCatalogue(oneLine));
}

TEST(ParseCatalogue, UnreadableFieldsStayEmptyAndReadingGoesOn) {
    // Code is text, the Boolean is a number, a number is beyond 32 bits.
    Packages c = ParseCatalogue(
        "1\r\n1\r\n99999999999,5,6,\"a.zip\",\"a\",1\r\n"
        "\"x\",3,\"E\",\"G\",\"NE\",\"NG\",\"1.0\",17\r\n0,0,0,\"\",\"\",0\r\n");
    ASSERT_EQ(c.PackageCount(), 1);
    const auto& p = c.Package(1);
    EXPECT_EQ(p.File(1).ProductVersionLow, 0);
    EXPECT_EQ(p.File(1).ArchiveSize, 5);
    EXPECT_EQ(p.Code, 0);
    EXPECT_EQ(p.ReservedNumber, 3);
    EXPECT_EQ(p.NameGreek, "NG");
    EXPECT_FALSE(p.ReservedFlag);
}

TEST(ParseCatalogue, CountsBeyondTheDataGivePartialCatalogues) {
    EXPECT_EQ(ParseCatalogue("2147483647\r\n").PackageCount(), 0);
    EXPECT_EQ(
        ParseCatalogue("-5\r\n0\r\n7,0,\"\",\"\",\"A\",\"A\",\"\",#FALSE#\r\n").PackageCount(), 0);
    EXPECT_EQ(ParseCatalogue("").PackageCount(), 0);

    // A package count far above what follows keeps the packages that are there.
    std::string twoThenClaimMore = kTwoPackages;
    twoThenClaimMore.replace(0, 1, "2000000000");
    Packages c = ParseCatalogue(twoThenClaimMore);
    ASSERT_EQ(c.PackageCount(), 2);
    EXPECT_EQ(c.Package(2).FileCount, 3);

    // A huge file count reads the file records that exist, then stops.
    Packages huge = ParseCatalogue("1\r\n2147483647\r\n0,1,2,\"a.zip\",\"a\",1\r\n");
    ASSERT_EQ(huge.PackageCount(), 1);
    EXPECT_EQ(huge.Package(1).FileCount, 1);
    EXPECT_EQ(huge.Package(1).File(1).SizeBytes, 2);

    Packages negative = ParseCatalogue("1\r\n-3\r\n9,0,\"\",\"\",\"N\",\"N\",\"\",#FALSE#\r\n");
    ASSERT_EQ(negative.PackageCount(), 1);
    EXPECT_EQ(negative.Package(1).FileCount, 0);
    EXPECT_EQ(negative.Package(1).Code, 9);
}

TEST(ParseCatalogue, TruncatedFileKeepsWhatWasRead) {
    Packages c = ParseCatalogue(kTwoPackages.substr(0, kTwoPackages.find("\"a.txt.zip\"")));
    ASSERT_EQ(c.PackageCount(), 2);
    EXPECT_EQ(c.Package(1).NameEnglish, "Alpha");
    EXPECT_EQ(c.Package(2).FileCount, 1);
    EXPECT_EQ(c.Package(2).File(1).ArchiveSize, 10);
    EXPECT_EQ(c.Package(2).File(1).ArchiveName, "");
}

TEST(ParseCatalogue, QuotedTextsMayHoldLineBreaksWithoutShiftingLaterItems) {
    std::string broken = kTwoPackages;
    broken.replace(broken.find("Alpha tool"), 10, "Alpha\r\n\ttool");
    znt::CatalogueRead read = znt::ReadCatalogue(broken);
    EXPECT_TRUE(read.complete) << read.problem;
    EXPECT_EQ(read.packages.Package(1).DescriptionEnglish, "Alpha\r\n\ttool");
    read.packages.Package(1).DescriptionEnglish = "Alpha tool";
    ExpectTwoPackages(read.packages);
}

TEST(ReadCatalogue, OnlyAWholeCatalogueIsComplete) {
    std::string spread = OneItemPerLine(kTwoPackages) + "\r\n\r\n , \r\n";
    for (const std::string& whole : {kTwoPackages, spread, std::string("0\r\n")}) {
        znt::CatalogueRead read = znt::ReadCatalogue(whole);
        EXPECT_TRUE(read.complete) << read.problem;
        EXPECT_TRUE(read.problem.empty());
    }
    std::string claimsMore = kTwoPackages;
    claimsMore.replace(0, 1, "3");
    std::string hugeFileCount = kTwoPackages;
    hugeFileCount.replace(hugeFileCount.find("3\r\n0,10"), 1, "2000000000");
    std::string badBoolean = kTwoPackages;
    badBoolean.replace(badBoolean.find("#FALSE#"), 7, "17");
    const std::string damaged[] = {
        "",
        kTwoPackages.substr(0, kTwoPackages.size() / 2),  // cut in the middle
        kTwoPackages.substr(0, kTwoPackages.size() - 4),  // cut in the last record
        claimsMore,                                       // a count the data cannot hold
        hugeFileCount,
        "-1\r\n",                // a negative count
        kTwoPackages + "1\r\n",  // data after the last package
        badBoolean,              // a Boolean of the wrong kind
        "1\r\n0\r\n99999999999,0,\"\",\"\",\"A\",\"A\",\"\",#FALSE#\r\n0,0,0,\"\",\"\",0\r\n",
        std::string("\x1f\x8b\x08\x00\x00\x00\x00\x00\x00\x03\xcb\x48\xcd\xc9\xc9\x07\x00", 17),
        "2147483647\r\n2147483647\r\n",  // limits exceeded
    };
    for (const std::string& bytes : damaged) {
        znt::CatalogueRead read = znt::ReadCatalogue(bytes);
        EXPECT_FALSE(read.complete) << bytes;
        EXPECT_FALSE(read.problem.empty()) << bytes;
    }
}

TEST(ReadCatalogue, AFileOverTheSizeLimitIsIncomplete) {
    TempDir inst;
    std::string path = inst.write("packages.dat", kTwoPackages);
    EXPECT_TRUE(znt::ReadCatalogueFile(path).complete);
    std::filesystem::resize_file(path, znt::kMaxCatalogueBytes + 1);  // sparse, cheap
    EXPECT_FALSE(znt::ReadCatalogueFile(path).complete);
}

TEST(LoadCatalogue, ReadsAndDeletesTheFileEvenWhenReadOnly) {
    TempDir inst;
    std::string path = inst.write("packages.dat", kTwoPackages);
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    Packages c;
    znt::LoadCatalogue(c, inst.path());
    ExpectTwoPackages(c);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(LoadCatalogue, MissingOrOversizedFileGivesAnEmptyCatalogue) {
    TempDir inst;
    Packages c = ParseCatalogue(kTwoPackages);
    znt::LoadCatalogue(c, inst.path());
    EXPECT_EQ(c.PackageCount(), 0);

    std::string path = inst.write("packages.dat", kTwoPackages);
    std::filesystem::resize_file(path, znt::kMaxCatalogueBytes + 1);  // sparse, cheap
    c = ParseCatalogue(kTwoPackages);
    znt::LoadCatalogue(c, inst.path());
    EXPECT_EQ(c.PackageCount(), 0);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SafeNames, FileNamesMustStayInsideTheInstallation) {
    for (const char* good : {"a.dll", "bin\\a.dll", "help\\gr\\x.htm", "bin/a.dll", "a..b.txt",
                             "bin\\.\\a.dll", "..a", "bin\\...\\a.dll", "a.\\b"}) {
        EXPECT_TRUE(znt::IsSafeFileName(good)) << good;
    }
    for (const char* bad :
         {"", "\\a.dll", "/etc/passwd", "C:\\a.dll", "c:a.dll", "..\\a.dll", "bin\\..\\..\\a.dll",
          "bin/../../a", "..", "bin\\..", "bin\\", "a.dll:stream", "bin\\a\x01.dll",
          "\\\\server\\share\\a", "bin\\a\x7F.dll", "bin/..\\a"}) {
        EXPECT_FALSE(znt::IsSafeFileName(bad)) << bad;
    }
    EXPECT_FALSE(znt::IsSafeFileName(std::string("a\0b", 3)));
}

TEST(SafeNames, ArchiveNamesAreBareNamesWithAStem) {
    for (const char* good : {"a.dll.zip", "zntr.exe.zip", "x.zip", "help_gr_a.htm.zip"}) {
        EXPECT_TRUE(znt::IsSafeArchiveName(good)) << good;
    }
    for (const char* bad : {"", ".zip", "zip", "..\\a.zip", "sub/a.zip", "sub\\a.zip", "...zip",
                            "a..zip", "C:a.zip", "a\r.zip"}) {
        EXPECT_FALSE(znt::IsSafeArchiveName(bad)) << bad;
    }
    znt::PackageFileEntry f{"bin\\a.dll", 1, 0, 3, 3, "a.dll.zip"};
    EXPECT_TRUE(znt::IsSafeFileEntry(f));
    f.ArchiveName = "../a.dll.zip";
    EXPECT_FALSE(znt::IsSafeFileEntry(f));
}
