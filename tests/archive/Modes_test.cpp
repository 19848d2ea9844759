#include "archive/UnzipFixture.h"

#include <gtest/gtest.h>

#include <filesystem>

using archivetest::ListTree;
using archivetest::LocalTime;
using archivetest::Member;
using archivetest::SetFileTime;
using archivetest::UnzipFixture;

namespace {

using Modes = UnzipFixture;

std::vector<std::string> SplitCrLf(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) {
        lines.push_back(text.substr(start, at - start));
    }
    lines.push_back(text.substr(start));
    return lines;
}

TEST_F(Modes, ListingPutsNameSizeDateAndTimeInTheirColumnsAndWritesNothing) {
    std::string longName(60, 'n');
    std::time_t t = LocalTime(2024, 3, 5, 7, 9);
    unzip.SetExtractList(1);
    ASSERT_EQ(unzip.Unzip(Zip({Member("a.txt", std::string(1234, 'x')).Time(t),
                               Member(longName, "y").Time(t)}),
                          out),
              0);
    auto lines = SplitCrLf(unzip.GetListing());
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(unzip.ListedCount(), 2);
    for (const auto& line : lines) EXPECT_EQ(line.size(), 80u);
    EXPECT_EQ(lines[0].substr(0, 9) + lines[0].substr(52, 4) + lines[0].substr(61, 4) +
                  lines[0].substr(70, 4),
              "Filename:SizeDateTime");
    EXPECT_EQ(lines[1].substr(0, 52), "a.txt" + std::string(47, ' '));
    EXPECT_EQ(lines[1].substr(52, 7), "   1234");
    EXPECT_EQ(lines[1].substr(61, 8), "03/05/24");
    EXPECT_EQ(lines[1].substr(70, 5), "07:09");
    EXPECT_EQ(lines[2].substr(0, 52), std::string(50, 'n') + "  ");
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(Modes, TestChecksEveryCrcAndWritesNothing) {
    unzip.SetTestZip(1);
    std::string zip =
        Zip({Member("a.txt", "first member data").Stored(), Member("b.txt", "second")});
    EXPECT_EQ(unzip.Unzip(zip, out), 0);
    std::string bytes = testsupport::ReadFile(zip);
    bytes[bytes.find("first member data")] = 'F';
    tmp.write("a.zip", bytes);
    EXPECT_EQ(unzip.Unzip(), 2);
    EXPECT_NE(unzip.GetLastMessage().find("a.txt"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(out));

    unzip.SetTestZip(0);  // a damaged member is not written either
    EXPECT_EQ(unzip.Unzip(), 2);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"b.txt"});
}

TEST_F(Modes, FreshenAndNewerOnlyCompareTimes) {
    std::time_t archived = LocalTime(2025, 1, 1, 12, 0);
    std::string zip =
        Zip({Member("old", "new").Time(archived), Member("young", "new").Time(archived),
             Member("missing", "new").Time(archived)});
    auto reset = [&] {
        SetFileTime(tmp.write("out/old", "was"), LocalTime(2020, 1, 1, 12, 0));
        SetFileTime(tmp.write("out/young", "was"), LocalTime(2030, 1, 1, 12, 0));
        std::filesystem::remove(out + "/missing");
    };
    reset();
    unzip.SetExtractNewer(1);
    EXPECT_EQ(unzip.Unzip(zip, out), 0);
    EXPECT_EQ(Out("old") + Out("young"), "newwas");
    EXPECT_FALSE(std::filesystem::exists(out + "/missing"));

    reset();
    unzip.SetExtractNewer(0);
    unzip.SetExtractOnlyNewer(1);
    EXPECT_EQ(unzip.Unzip(), 0);
    EXPECT_EQ(Out("old") + Out("young") + Out("missing"), "newwasnew");
    SetFileTime(tmp.write("out/old", "kept"), archived);
    EXPECT_EQ(unzip.Unzip(), 0);  // the same time is not newer
    EXPECT_EQ(Out("old"), "kept");
}

TEST_F(Modes, NamesFollowTheFolderAndUnderscoreOptions) {
    std::string zip = Zip({Member("my dir/a file.txt", "a"), Member("sub\\b.txt", "b")});
    unzip.SetSpaceToUnderScore(1);
    EXPECT_EQ(unzip.Unzip(zip, out), 0);
    EXPECT_EQ(ListTree(out),
              (std::vector<std::string>{"my_dir/", "my_dir/a_file.txt", "sub/", "sub/b.txt"}));
    std::filesystem::remove_all(out);
    unzip.SetHonorDirectories(0);
    EXPECT_EQ(unzip.Unzip(), 0);
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"a_file.txt", "b.txt"}));
}

}  // namespace
