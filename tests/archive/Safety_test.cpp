#include "archive/UnzipFixture.h"
#include "archive/ZipExtract.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

namespace fs = std::filesystem;
using archivetest::ListTree;
using archivetest::Member;
using archivetest::PatchFirstUncompressedSize;
using archivetest::UnzipFixture;

namespace {

using Safety = UnzipFixture;

struct QuietCallbacks : znt::ExtractCallbacks {
    void Print(std::string_view text) override { printed += text; }
    znt::ReplaceAnswer Replace(const std::string&) override { return znt::ReplaceAnswer::Yes; }
    std::optional<std::string> Password(const std::string&) override { return std::nullopt; }
    void Listed(const znt::ListedMember&) override {}
    std::string printed;
};

struct ThrowingSink : testsupport::RecordingMessageSink {
    std::optional<std::string> InputBox(const std::string&, const std::string&) override {
        throw std::runtime_error("sink broke");
    }
};

TEST_F(Safety, HostileMembersWriteNothingOutsideTheFolder) {
    std::string outside = tmp.file("outside");
    tmp.write("outside/victim.txt", "precious");
    fs::create_directories(out);
#ifndef _WIN32  // links already in the folder; Windows allows them to administrators only
    fs::create_directory_symlink(outside, out + "/existing");
    fs::create_symlink(outside + "/victim.txt", out + "/victim.txt");
    const std::vector<std::string> existing = {"existing"};
#else
    const std::vector<std::string> existing = {"existing/", "existing/evil.txt"};
#endif
    std::string zip = Zip({Member("../x", "evil"), Member(outside + "/abs.txt", "evil"),
                           Member("C:x", "evil"), Member("a/../../x", "evil"),
                           Member("ctrl\x01"
                                  "\x81.txt",
                                  "evil"),
                           Member("a\\..\\..\\y", "evil"), Member("link", "../outside").Link(),
                           Member("link/evil.txt", "evil"), Member("existing/evil.txt", "evil"),
                           Member("victim.txt", "replaced"), Member("ok.txt", "fine")});
    EXPECT_NE(unzip.Unzip(zip, out), 0);
    EXPECT_EQ(ListTree(outside), std::vector<std::string>{"victim.txt"});
    EXPECT_EQ(testsupport::ReadFile(outside + "/victim.txt"), "precious");
    EXPECT_FALSE(fs::exists(tmp.file("x")) || fs::exists(tmp.file("y")));
    // "link" was refused as a link, so "link/evil.txt" made a real folder inside.
    std::vector<std::string> expected = existing;
    expected.insert(expected.end(), {"link/", "link/evil.txt", "ok.txt", "victim.txt"});
    EXPECT_EQ(ListTree(out), expected);
    EXPECT_FALSE(fs::is_symlink(out + "/victim.txt"));  // the link itself was replaced
    EXPECT_EQ(Out("victim.txt"), "replaced");
    EXPECT_NE(unzip.GetLastMessage().find("skipping: ../x  (unsafe name)"), std::string::npos);
}

TEST_F(Safety, MemberLargerThanItsDeclaredSizeFailsAndLeavesNothing) {
    tmp.write("out/big.txt", "good");
    std::string zip = Zip({Member("big.txt", std::string(4096, 'a')).Stored()});
    PatchFirstUncompressedSize(zip, 100);
    EXPECT_EQ(unzip.Unzip(zip, out), 2);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"big.txt"});  // no temporary left
    EXPECT_EQ(Out("big.txt"), "good");

    Zip({Member("bomb.bin", std::string(8 << 20, '\0'))});
    PatchFirstUncompressedSize(zip, 1000);
    EXPECT_EQ(unzip.Unzip(), 2);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"big.txt"});
    EXPECT_NE(unzip.GetLastMessage().find("more data than its declared size"), std::string::npos)
        << unzip.GetLastMessage();
}

TEST_F(Safety, WriteCapEndsTheExtraction) {
    std::string zip = Zip(
        {Member("a", std::string(600, 'a')), Member("b", std::string(600, 'b')), Member("c", "c")});
    znt::ExtractOptions options = archivetest::Options();
    options.maxTotalBytes = 1000;
    QuietCallbacks callbacks;
    EXPECT_EQ(znt::ExtractArchive(zip, out, options, callbacks), znt::ExtractCode::kDiskFull);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"a"});
    EXPECT_NE(callbacks.printed.find("not enough room"), std::string::npos);
}

TEST_F(Safety, DamagedArchivesGiveACodeAndRaiseNothing) {
    std::string good = Zip({Member("a.txt", std::string(5000, 'a'))});
    std::string bytes = testsupport::ReadFile(good);
    std::string garbage = tmp.write("garbage.zip", "this is not a zip file at all");
    std::string truncated = tmp.write("cut.zip", bytes.substr(0, bytes.size() / 2));
    std::string damaged = bytes;
    damaged[bytes.size() / 3] ^= 0x55;
    tmp.write("damaged.zip", damaged);
    for (const auto& zip : {tmp.file("missing.zip"), garbage, truncated, tmp.file("damaged.zip")}) {
        std::int32_t code = 0;
        EXPECT_NO_THROW(code = unzip.Unzip(zip, out)) << zip;
        EXPECT_NE(code, 0) << zip;
    }
    EXPECT_EQ(unzip.Unzip(garbage, out), znt::ExtractCode::kNoArchive);
    EXPECT_TRUE(!fs::exists(out) || ListTree(out).empty());
    znt::CGUnzipFiles fresh(sink);
    EXPECT_EQ(fresh.Unzip(), znt::ExtractCode::kBadParameter);
}

TEST_F(Safety, FaultsInsideTheRoutineAreRaisedWithItsSource) {
    ThrowingSink throwing;
    unzip.SetMessageSink(throwing);
    std::string zip = Zip({Member("a.txt", "A").Password("pw")});
    try {
        unzip.Unzip(zip, out);
        FAIL() << "nothing raised";
    } catch (const znt::UnzipError& e) {
        EXPECT_EQ(e.source, "CodeModule::VBUnzip");
        EXPECT_EQ(e.number, 51);
        EXPECT_EQ(e.description, "sink broke");
    }
    EXPECT_TRUE(ListTree(out).empty());
}

}  // namespace
