// Both zip readers against one table of verdicts on archives built here:
// layouts honest tools write (data descriptors, ZIP64 variants, bytes before,
// between and after the members) and headers that disagree. The table is what
// Info-ZIP's unzip does, except that a member whose local header disagrees with
// its directory entry is refused even where unzip reads it, and so is an
// archive whose directory pads extra fields with anything but zeros. Natively both
// readers run, and unzip's own verdict is checked against the table; Windows
// builds hold the zlib reader alone to the same table.

#include "archive/UnzipFixture.h"
#include "archive/ZipExtract.h"
#include "archive/ZipReader.h"

#include <gtest/gtest.h>

#include <cstdlib>

#ifndef _WIN32
#include <sys/wait.h>
#endif

using archivetest::LocalFields;
using archivetest::Member;
using archivetest::ZipLayout;

namespace {

// Outside the zlib twin of this program: one run covers both readers.
#ifndef ZNT_TEST_ZLIB_READER

const std::string kPassword = "pw";

// The reader's verdict: why the archive is refused, or each member's name and
// whether its data read back as written.
std::string VerdictOf(znt::ZipReaderOpener open, const std::string& zip,
                      const std::vector<Member>& members) {
    znt::ZipStatus status = znt::ZipStatus::Ok;
    auto reader = open(zip, status);
    if (!reader) return "refused: " + znt::ZipStatusText(status);
    std::string verdict;
    for (std::uint64_t i = 0; i < reader->EntryCount(); ++i) {
        znt::ZipEntryInfo info;
        if (reader->Entry(i, info) != znt::ZipStatus::Ok) {
            verdict += "?: no entry\n";
            continue;
        }
        verdict += info.name + ": ";
        bool encrypted = info.encryption != znt::ZipEncryption::None;
        auto stream = reader->Open(i, encrypted ? &kPassword : nullptr, status);
        if (!stream) {
            verdict += znt::ZipStatusText(status) + "\n";
            continue;
        }
        std::string data, buffer(4096, '\0');
        std::optional<std::size_t> n;
        while ((n = stream->Read(buffer.data(), buffer.size())) && *n > 0)
            data.append(buffer, 0, *n);
        if (!n) {
            verdict += znt::ZipStatusText(stream->Status()) + "\n";
        } else {
            verdict += i < members.size() && data == members[i].data ? "ok\n" : "other data\n";
        }
    }
    return verdict;
}

enum class InfoZip { Reads, Fails };

struct Case {
    const char* what;
    std::vector<Member> members;
    ZipLayout layout;
    std::string verdict;
    InfoZip infoZip;
};

std::vector<Case> Corpus() {
    const std::string alpha(3000, 'a'), bravo = "bravo, stored";
    auto a = [&] { return Member("a.txt", alpha); };
    auto b = [&] { return Member("b.txt", bravo).Stored(); };
    const std::string bothOk = "a.txt: ok\nb.txt: ok\n";
    const std::string aDisagrees =
        "a.txt: local header disagrees with the central directory\nb.txt: ok\n";
    ZipLayout plain, before, after, fewer, more, zip64End, beforeEnd;
    beforeEnd.beforeEnd = "GAP";
    before.before = "JUNK";
    after.after = "trailing bytes";
    fewer.countChange = -1;
    more.countChange = 1;
    zip64End.zip64End = true;
    ZipLayout zip64Before = zip64End, allOnes = zip64End;
    allOnes.endDisksAllOnes = true;
    zip64Before.before = std::string(100, 'j');

    return {
        {"plain", {a(), b()}, plain, bothOk, InfoZip::Reads},
        {"data descriptors, one encrypted",
         {a().Descriptor(), b().Descriptor(),
          Member("c.txt", "crypt").Password(kPassword).Descriptor()},
         plain,
         bothOk + "c.txt: ok\n",
         InfoZip::Reads},
        {"ZIP64 in both headers", {a().Zip64(), b().Zip64()}, plain, bothOk, InfoZip::Reads},
        {"ZIP64 sizes in the local header only, end record all ones",
         {a().Zip64LocalOnly(), b().Zip64LocalOnly()},
         allOnes,
         bothOk,
         InfoZip::Reads},
        {"ZIP64 local header and descriptor",
         {a().Zip64LocalOnly().Descriptor(), b()},
         plain,
         bothOk,
         InfoZip::Reads},
        {"ZIP64 end records only", {a(), b()}, zip64End, bothOk, InfoZip::Reads},
        {"bytes before the archive", {a(), b()}, before, bothOk, InfoZip::Reads},
        {"bytes before a ZIP64 archive", {a().Zip64(), b()}, zip64Before, bothOk, InfoZip::Reads},
        {"bytes after the end record", {a(), b()}, after, bothOk, InfoZip::Reads},
        {"bytes between members", {a(), b().Before("GAP BYTES")}, plain, bothOk, InfoZip::Reads},
        {"duplicate names",
         {a(), Member("a.txt", "second")},
         plain,
         "a.txt: ok\na.txt: ok\n",
         InfoZip::Reads},
        {"empty name", {Member("", "nameless"), b()}, plain, ": ok\nb.txt: ok\n", InfoZip::Reads},
        {"extra fields padded with zeros",
         {a().Extra(std::string(3, '\0')), b()},
         plain,
         bothOk,
         InfoZip::Reads},
        {"local time differs",
         {a().Local([](LocalFields& l) { l.dosTime ^= 1; }), b()},
         plain,
         bothOk,
         InfoZip::Reads},
        {"bytes between the directory and the end record",
         {a(), b()},
         beforeEnd,
         "refused: damaged data",
         InfoZip::Fails},
        {"entry count lower than the entries",
         {a(), b()},
         fewer,
         "refused: damaged data",
         InfoZip::Fails},
        {"entry count higher than the entries",
         {a(), b()},
         more,
         "refused: damaged data",
         InfoZip::Fails},
        {"local method differs",
         {a().Local([](LocalFields& l) { l.method = 0; }), b()},
         plain,
         aDisagrees,
         InfoZip::Fails},
        {"local CRC differs",
         {a().Local([](LocalFields& l) { l.crc ^= 1; }), b()},
         plain,
         aDisagrees,
         InfoZip::Fails},
        {"local compressed size smaller",
         {a().Local([](LocalFields& l) { l.compressedSize -= 5; }), b()},
         plain,
         aDisagrees,
         InfoZip::Fails},
        {"local signature wrong",
         {a().Local([](LocalFields& l) { l.signature = "PK\x03\x05"; }), b()},
         plain,
         "a.txt: damaged data\nb.txt: ok\n",
         InfoZip::Fails},
        // Info-ZIP reads these after a warning, or without one; we refuse them.
        {"local compressed size larger",
         {a().Local([](LocalFields& l) { l.compressedSize += 5; }), b()},
         plain,
         aDisagrees,
         InfoZip::Reads},
        {"local size differs",
         {a().Local([](LocalFields& l) { l.size += 1; }), b()},
         plain,
         aDisagrees,
         InfoZip::Reads},
        {"local name differs",
         {a().Local([](LocalFields& l) { l.name = "x.txt"; }), b()},
         plain,
         aDisagrees,
         InfoZip::Reads},
        {"ZIP64 local size differs",
         {a().Zip64LocalOnly().Local([](LocalFields& l) { l.size += 1; }), b()},
         plain,
         aDisagrees,
         InfoZip::Reads},
        // libzip refuses padding other than zeros after the last extra field.
        {"extra fields padded with 0xFF",
         {a().Extra("\xFF\xFF\xFF"), b()},
         plain,
         "refused: damaged data",
         InfoZip::Reads},
        {"descriptor and a stated CRC that differs",
         {a().Descriptor().Local([](LocalFields& l) { l.crc = 1; }), b()},
         plain,
         aDisagrees,
         InfoZip::Reads},
    };
}

#ifndef _WIN32
// unzip's exit status: 0 for no problem, 1 for warnings only.
bool InfoZipReads(const std::string& zip) {
    std::string command = "unzip -qq -t -P " + kPassword + " '" + zip + "' >/dev/null 2>&1";
    int rc = std::system(command.c_str());
    return rc != -1 && WIFEXITED(rc) && WEXITSTATUS(rc) <= 1;
}
#endif

TEST(ReaderVerdicts, BothReadersAndInfoZipGiveTheTablesVerdicts) {
    testsupport::TempDir tmp;
#ifdef _WIN32
    const std::vector<znt::ZipReaderOpener> readers = {znt::OpenZlibReader};
#else
    const std::vector<znt::ZipReaderOpener> readers = {znt::OpenLibzipReader, znt::OpenZlibReader};
    const bool haveUnzip = std::system("command -v unzip >/dev/null 2>&1") == 0;
#endif
    for (const Case& c : Corpus()) {
        SCOPED_TRACE(c.what);
        const std::string zip = archivetest::WriteZip(tmp.file("case.zip"), c.members, c.layout);
        for (znt::ZipReaderOpener open : readers) {
            EXPECT_EQ(VerdictOf(open, zip, c.members), c.verdict)
                << (open == znt::OpenZlibReader ? "zlib reader" : "libzip reader");
        }
#ifndef _WIN32
        if (haveUnzip) {
            EXPECT_EQ(InfoZipReads(zip), c.infoZip == InfoZip::Reads) << "unzip -t";
        }
#endif
    }
}

#endif

using Readers = archivetest::UnzipFixture;

struct PrintedCallbacks : znt::ExtractCallbacks {
    void Print(std::string_view text) override { printed += text; }
    znt::ReplaceAnswer Replace(const std::string&) override { return znt::ReplaceAnswer::Yes; }
    std::optional<std::string> Password(const std::string&) override { return std::nullopt; }
    void Listed(const znt::ListedMember&) override {}
    std::string printed;
};

TEST_F(Readers, AMemberWhoseLocalHeaderDisagreesIsRefusedWithTheReason) {
    std::string zip = Zip({Member("a.txt", "alpha").Local([](LocalFields& l) { l.method = 0; }),
                           Member("b.txt", "bravo")});
    PrintedCallbacks callbacks;
    EXPECT_EQ(znt::ExtractArchive(zip, out, archivetest::Options(), callbacks),
              znt::ExtractCode::kError);
    EXPECT_NE(callbacks.printed.find("a.txt: local header disagrees with the central directory"),
              std::string::npos)
        << callbacks.printed;
    EXPECT_EQ(archivetest::ListTree(out), std::vector<std::string>{"b.txt"});
}

}  // namespace
