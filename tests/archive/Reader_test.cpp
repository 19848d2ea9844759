// What both zip readers must agree on: the methods read and refused, ZIP64,
// names without the UTF-8 flag, and hostile directory numbers.

#include "archive/UnzipFixture.h"
#include "archive/ZipExtract.h"
#include "archive/ZipReader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;
using archivetest::ListTree;
using archivetest::Member;
using archivetest::UnzipFixture;

namespace {

using Readers = UnzipFixture;

struct RecordingCallbacks : znt::ExtractCallbacks {
    void Print(std::string_view text) override { printed += text; }
    znt::ReplaceAnswer Replace(const std::string&) override { return znt::ReplaceAnswer::Yes; }
    std::optional<std::string> Password(const std::string&) override { return password; }
    void Listed(const znt::ListedMember& m) override { listed.push_back(m); }
    std::string printed;
    std::optional<std::string> password;
    std::vector<znt::ListedMember> listed;
};

// Reads a file named in UTF-8 (narrow paths are not UTF-8 on Windows).
std::string ReadUtf8Named(const std::string& path) {
    std::u8string name(reinterpret_cast<const char8_t*>(path.data()), path.size());
    std::ifstream in(fs::path(name), std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// Overwrites a little-endian field at offset from the first signature.
void Patch(std::string& bytes, std::string_view signature, std::size_t offset, std::uint32_t value,
           int width) {
    std::size_t at = bytes.find(signature);
    ASSERT_NE(at, std::string::npos);
    for (int b = 0; b < width; ++b) bytes[at + offset + b] = static_cast<char>(value >> (8 * b));
}

TEST_F(Readers, OnlyStoredDeflatedAndTraditionalEncryptionAreRead) {
    std::string zip =
        Zip({Member("bzip2.bin", "BZh9 data").Method(12), Member("aes.txt", "secret").Aes(),
             Member("stored.txt", "plain stored").Stored().Password("pw"),
             Member("deflated.txt", std::string(3000, 'd')).Password("pw")});
    RecordingCallbacks callbacks;
    callbacks.password = "pw";
    EXPECT_EQ(znt::ExtractArchive(zip, out, archivetest::Options(), callbacks),
              znt::ExtractCode::kUnsupported);
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"deflated.txt", "stored.txt"}));
    EXPECT_EQ(Out("stored.txt") + Out("deflated.txt"), "plain stored" + std::string(3000, 'd'));
    EXPECT_NE(callbacks.printed.find("bzip2.bin: compression or encryption method not supported"),
              std::string::npos)
        << callbacks.printed;
    EXPECT_NE(callbacks.printed.find("aes.txt"), std::string::npos) << callbacks.printed;
}

TEST_F(Readers, TheReasonNamesTheWorstFaultAndAnOversizedMemberIsNotWritten) {
    RecordingCallbacks callbacks;
    std::string reason = "stale";
    std::string zip = Zip({Member("fine.txt", "fine"), Member("bzip2.bin", "BZh9").Method(12)});
    EXPECT_EQ(znt::ExtractArchive(zip, out, archivetest::Options(), callbacks, &reason),
              znt::ExtractCode::kUnsupported);
    EXPECT_EQ(reason, "unsupported compression method 12 (bzip2)");

    std::string bytes = testsupport::ReadFile(Zip({Member("crc.txt", "hello world").Stored()}));
    bytes[bytes.find("hello")] = 'j';
    const std::string damaged = tmp.write("damaged.zip", bytes);
    EXPECT_EQ(znt::ExtractArchive(damaged, out, archivetest::Options(), callbacks, &reason),
              znt::ExtractCode::kError);
    EXPECT_EQ(reason, "CRC mismatch");

    znt::ExtractOptions bounded = archivetest::Options();
    bounded.maxMemberBytes = 12;
    std::string big =
        Zip({Member("big.bin", std::string(1 << 20, 'b')), Member("ok.txt", "twelve bytes")});
    EXPECT_EQ(znt::ExtractArchive(big, out, bounded, callbacks, &reason), znt::ExtractCode::kError);
    EXPECT_EQ(reason, "length 1048576, expected at most 12");
    EXPECT_FALSE(fs::exists(out + "/big.bin"));
    EXPECT_EQ(Out("ok.txt"), "twelve bytes");

    EXPECT_EQ(znt::ExtractArchive(big, out, archivetest::Options(), callbacks, &reason),
              znt::ExtractCode::kOk);
    EXPECT_EQ(reason, "");
    EXPECT_EQ(znt::ExtractArchive(tmp.write("no.zip", "not a zip"), out, archivetest::Options(),
                                  callbacks, &reason),
              znt::ExtractCode::kNoArchive);
    EXPECT_EQ(reason, "not a zip archive");
}

TEST_F(Readers, Zip64RecordsNamesWithoutFlagAndTheCommentAreRead) {
    std::string big(70000, 'z');
    std::string zip = archivetest::WriteZip(
        tmp.file("a.zip"),
        {Member("a.txt", "alpha").Zip64(), Member("big.bin", big).Zip64().Stored(),
         Member("\x81"
                "ber.txt",
                "cp437")},
        "the comment");
    znt::ExtractOptions options = archivetest::Options();
    options.displayComment = true;
    RecordingCallbacks callbacks;
    EXPECT_EQ(znt::ExtractArchive(zip, out, options, callbacks), znt::ExtractCode::kOk)
        << callbacks.printed;
    EXPECT_EQ(callbacks.printed, "the comment\n");
    EXPECT_EQ(Out("a.txt"), "alpha");
    EXPECT_EQ(Out("big.bin"), big);
    EXPECT_EQ(ReadUtf8Named(out + "/\xC3\xBC"
                                  "ber.txt"),
              "cp437");  // 437's 0x81 is U+00FC

    options.list = true;
    ASSERT_EQ(znt::ExtractArchive(zip, "", options, callbacks), znt::ExtractCode::kOk);
    ASSERT_EQ(callbacks.listed.size(), 3u);
    EXPECT_EQ(callbacks.listed[1].size, big.size());
}

// The first member, read through the selected reader capacity bytes at a time.
std::string ReadWhole(const std::string& zip, std::size_t capacity) {
    znt::ZipStatus status;
    auto reader = archivetest::kReaderUnderTest(zip, status);
    auto stream = reader ? reader->Open(0, nullptr, status) : nullptr;
    if (!stream) return "cannot open: " + znt::ZipStatusText(status);
    std::string buffer(capacity, '\0'), got;
    std::optional<std::size_t> n;
    while ((n = stream->Read(buffer.data(), capacity)) && *n > 0) got.append(buffer, 0, *n);
    return n ? got : "failed: " + znt::ZipStatusText(stream->Status());
}

// Runs of letters and numbers: the data ends inside a long back-reference,
// so inflate still holds output when the compressed bytes are used up.
std::string RunsAndNumbers(std::size_t size) {
    std::string data;
    for (int i = 0; data.size() < size; ++i) {
        data.append(static_cast<std::size_t>(i * 37 % 3000), static_cast<char>('a' + i % 3));
        data += std::to_string(i * 7919);
    }
    return data;
}

TEST_F(Readers, ReadsOfAnySizeDeliverEveryByteOnce) {
    for (std::size_t size : {2000, 4000, 200000}) {
        std::string data = RunsAndNumbers(size);
        std::string zip = Zip({Member("d.txt", data)});
        for (std::size_t capacity : {std::size_t{1}, std::size_t{389}, std::size_t{1} << 20}) {
            SCOPED_TRACE(std::to_string(size) + " bytes read " + std::to_string(capacity) +
                         " at a time");
            EXPECT_TRUE(ReadWhole(zip, capacity) == data);
        }
    }
}

TEST_F(Readers, EndRecordIsFoundOnlyWithinTheLongestComment) {
    std::string longest(0xFFFF, 'c');
    std::string zip = archivetest::WriteZip(tmp.file("a.zip"), {{"a.txt", "alpha"}}, longest);
    EXPECT_EQ(unzip.Unzip(zip, out), 0);
    EXPECT_EQ(Out("a.txt"), "alpha");

    tmp.write("a.zip", testsupport::ReadFile(zip) + "trailing bytes");
    EXPECT_EQ(unzip.Unzip(), znt::ExtractCode::kNoArchive);
}

TEST_F(Readers, HostileDirectoryNumbersGiveACodeAndWriteNothing) {
    const std::string good =
        testsupport::ReadFile(Zip({{"a.txt", std::string(100, 'a')}, {"b.txt", "bravo"}}));
    struct Case {
        const char* what;
        std::string_view signature;
        std::size_t offset;
        std::uint32_t value;
        int width;
    };
    const Case cases[] = {
        {"entry count", "PK\x05\x06", 10, 0xFFFF, 2},
        {"directory offset", "PK\x05\x06", 16, 0x7FFFFFF0, 4},
        {"directory size", "PK\x05\x06", 12, 0xFFFFFF, 4},
        {"disk number", "PK\x05\x06", 4, 1, 2},
        {"name length", "PK\x01\x02", 28, 0xFFFF, 2},
        {"extra length", "PK\x01\x02", 30, 0xFFF0, 2},
    };
    for (const Case& c : cases) {
        std::string bytes = good;
        Patch(bytes, c.signature, c.offset, c.value, c.width);
        tmp.write("hostile.zip", bytes);
        RecordingCallbacks callbacks;
        EXPECT_EQ(
            znt::ExtractArchive(tmp.file("hostile.zip"), out, archivetest::Options(), callbacks),
            znt::ExtractCode::kNoArchive)
            << c.what;
        EXPECT_FALSE(fs::exists(out)) << c.what;
    }
}

TEST_F(Readers, HostileMemberPlacesFailThatMemberOnly) {
    const std::string good =
        testsupport::ReadFile(Zip({{"a.txt", std::string(100, 'a')}, {"b.txt", "bravo"}}));
    for (std::uint32_t offset : {0x7FFFFFF0u, 40u}) {  // past the end; not a local header
        std::string bytes = good;
        Patch(bytes, "PK\x01\x02", 42, offset, 4);
        tmp.write("hostile.zip", bytes);
        fs::remove_all(out);
        RecordingCallbacks callbacks;
        EXPECT_EQ(
            znt::ExtractArchive(tmp.file("hostile.zip"), out, archivetest::Options(), callbacks),
            znt::ExtractCode::kError)
            << offset;
        EXPECT_EQ(ListTree(out), std::vector<std::string>{"b.txt"}) << offset;
    }
    std::string bytes = good;  // data said to run past the end of the file
    Patch(bytes, "PK\x01\x02", 20, 0x7FFFFFF0, 4);
    tmp.write("hostile.zip", bytes);
    fs::remove_all(out);
    RecordingCallbacks callbacks;
    EXPECT_EQ(znt::ExtractArchive(tmp.file("hostile.zip"), out, archivetest::Options(), callbacks),
              znt::ExtractCode::kError);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"b.txt"});
}

#ifndef _WIN32
TEST_F(Readers, ArchivesFromInfoZipExtract) {
    if (std::system("command -v zip >/dev/null 2>&1") != 0) GTEST_SKIP() << "no zip command";
    std::string text;
    for (int i = 0; i < 20000; ++i) text += std::to_string(i * 7919) + "\n";
    tmp.write("src/sub/numbers.txt", text);
    tmp.write("src/empty.txt", "");
    // -P encrypts with the traditional method and, on files, data descriptors.
    std::string command = "cd '" + tmp.file("src") + "' && zip -q -r -P secret ../info.zip .";
    ASSERT_EQ(std::system(command.c_str()), 0);
    RecordingCallbacks callbacks;
    callbacks.password = "secret";
    EXPECT_EQ(znt::ExtractArchive(tmp.file("info.zip"), out, archivetest::Options(), callbacks),
              znt::ExtractCode::kOk)
        << callbacks.printed;
    EXPECT_EQ(Out("sub/numbers.txt"), text);
    EXPECT_EQ(Out("empty.txt"), "");

    // zip draws each member's encryption header at random, and a password is
    // checked against one byte of it: one wrong password in 256 passes that
    // check. It then decrypts the numbers to garbage, which never extracts;
    // the empty member has no data to give it away.
    fs::remove_all(out);
    callbacks.password = "wrong";
    int code = znt::ExtractArchive(tmp.file("info.zip"), out, archivetest::Options(), callbacks);
    EXPECT_TRUE(code == znt::ExtractCode::kBadPassword || code == znt::ExtractCode::kError) << code;
    EXPECT_FALSE(fs::exists(out + "/sub/numbers.txt"));

    // With a fixed header whose check byte the wrong password misses, the
    // empty member is refused as well: empty files are encrypted too.
    fs::remove_all(out);
    const std::time_t when = archivetest::LocalTime(2024, 5, 6, 7, 8);  // the check byte's
    std::string fixed = archivetest::WriteZip(
        tmp.file("fixed.zip"),
        {Member("sub/"), Member("sub/numbers.txt", text).Password("secret").Descriptor().Time(when),
         Member("empty.txt", "").Password("secret").Descriptor().Time(when)});
    EXPECT_EQ(znt::ExtractArchive(fixed, out, archivetest::Options(), callbacks),
              znt::ExtractCode::kBadPassword);
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"sub/"});
}
#endif

}  // namespace
