// Files fetched as deltas: the new file is rebuilt from the installed copy
// and placed like an extracted one, and whatever goes wrong with the delta
// the archive is fetched instead, with the reason only in the log.

#include "install/InstallRun.h"

#include "InstallFixture.h"
#include "catalogue/Signature.h"
#include "support/DeltaBuilder.h"
#include "support/PeWriter.h"

#include <functional>
#include <string>
#include <vector>

using installtest::InstallTest;
using testsupport::ReadFile;
using znt::InstallOutcome;

namespace {

std::string Bytes(std::size_t size, unsigned seed) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        s[i] = static_cast<char>(seed >> 16);
    }
    return s;
}

class DeltaFetch : public InstallTest {
public:
    // The cases of DeltaFallback arrange their failure through these.
    using InstallTest::c;
    using InstallTest::server;
    using InstallTest::tmp;

    DeltaFetch() {
        for (std::size_t at : {10u, 5000u, 77777u}) next[at] = static_cast<char>(next[at] ^ 0x5A);
        next += "appended";
        tmp.write("inst dir/big.bin", base);
        AddPackage({{"big.bin", next}});
        Offer(deltatest::SimpleDelta(base, next));
    }

    znt::PackageFileEntry& File() { return packages.entries.front().File(1); }

    // Serves delta and offers it for big.bin, as the install list would.
    void Offer(const std::string& delta, std::string name = "big.bin.0123456789abcdef.zdelta") {
        served = delta;
        File().Delta =
            znt::DeltaSource{znt::Sha256Hex(next), static_cast<std::int32_t>(next.size()),
                             znt::Sha256Hex(base), name, static_cast<std::int32_t>(delta.size())};
        packages.entries.front().SizeBytes = File().Delta->deltaSize;
        server.Serve(DeltaPath(), delta);
    }
    std::string DeltaPath() { return ArchivePath(File().Delta->deltaName); }
    void Sign() {
        c.archiveHashes.required = true;
        c.archiveHashes.hexByName["big.bin.zip"] = znt::Sha256Hex(next);
        c.archiveHashes.hexByName[File().Delta->deltaName] = znt::Sha256Hex(served);
    }

    // Whatever the way, the run ends with the new file in place, an empty
    // cache and a run total that counts exactly what was transferred.
    void ExpectInstalledWithBytesCounted() {
        EXPECT_EQ(ReadFile(Installed("big.bin")), next);
        EXPECT_TRUE(CacheEntries().empty());
        EXPECT_EQ(c.run.bytes.received, c.run.bytes.total);
        EXPECT_EQ(view.Values(znt::DownloadControl::PTOTAL).back(), 100);
    }

    std::string base = Bytes(100000, 7), next = base, served;
};

}  // namespace

TEST_F(DeltaFetch, TheRebuiltFileIsPlacedAndAnEntrySharingTheArchiveTakesItToo) {
    AddPackage({{"copy\\big.bin", next}}, true, false);

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);

    EXPECT_EQ(events, (std::vector<std::string>{"delta big.bin.zip", "fetched big.bin.zip",
                                                "fetched big.bin.zip", "placed big.bin",
                                                "placed copy\\big.bin"}));
    EXPECT_EQ(server.RequestCount(ArchivePath("big.bin.zip")), 0);
    EXPECT_TRUE(extractor.calls.empty());
    EXPECT_EQ(ReadFile(Installed("copy/big.bin")), next);
    ExpectInstalledWithBytesCounted();
    EXPECT_EQ(c.run.bytes.total, static_cast<std::int64_t>(served.size() + next.size()));
}

TEST_F(DeltaFetch, CancelWhileTheDeltaArrivesKeepsTheInstalledCopyAndEmptiesTheCache) {
    // A large delta, held open half sent: its bytes arrive in pieces.
    File().Delta->deltaSize = File().ArchiveSize = 2 << 20;
    testsupport::LoopbackResponse hold;
    hold.generatedSize = 2u << 20;
    hold.sendOnly = 1u << 20;
    hold.holdOpenAfterSending = true;
    server.Serve(DeltaPath(), hold);
    ov::SetYieldHook([&] {
        std::vector<int> bar = view.Values(znt::DownloadControl::PBAR);
        if (!bar.empty() && bar.back() >= 50 && !view.cancel.Pressed()) view.ClickCancel();
    });

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Cancelled);

    EXPECT_EQ(ReadFile(Installed("big.bin")), base);
    EXPECT_TRUE(CacheEntries().empty());
    EXPECT_EQ(server.RequestCount(ArchivePath("big.bin.zip")), 0);
    EXPECT_TRUE(events.empty());
}

TEST_F(InstallTest, AProgramTestedByVersionIsRebuiltUnlessItsVersionIsNotTheCataloguesOne) {
    const std::string base = testsupport::MakePe({.productVersion = {2, 1, 7, 3}, .overlay = "3"});
    const std::string next = testsupport::MakePe({.productVersion = {2, 1, 7, 4}, .overlay = "4"});
    const std::string delta = deltatest::SimpleDelta(base, next);
    tmp.write("inst dir/app.exe", base);
    AddPackage({{"app.exe", next}});
    znt::PackageFileEntry& f = packages.entries.front().File(1);
    f.CheckMode = 0;
    f.ProductVersionLow = static_cast<std::int32_t>(testsupport::VersionLow({2, 1, 7, 4}));
    f.Delta = znt::DeltaSource{znt::Sha256Hex(next), static_cast<std::int32_t>(next.size()),
                               znt::Sha256Hex(base), "app.exe.1.zdelta",
                               static_cast<std::int32_t>(delta.size())};
    server.Serve(ArchivePath("app.exe.1.zdelta"), delta);

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_EQ(events.front(), "delta app.exe.zip");
    EXPECT_EQ(ReadFile(Installed("app.exe")), next);

    // The catalogue wants a later version than the delta rebuilds.
    tmp.write("inst dir/app.exe", base);
    f.ProductVersionLow = static_cast<std::int32_t>(testsupport::VersionLow({2, 1, 7, 5}));
    events.clear();
    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_EQ(events.front(), "no-delta app.exe.zip");
    EXPECT_EQ(reasons.back(),
              "no-delta app.exe.zip: app.exe.1.zdelta: rebuilt file has another version");
    EXPECT_EQ(server.RequestCount(ArchivePath("app.exe.zip")), 1);
}

// Each way a delta can fail, with the reason the log gets.
struct Failure {
    const char* name;
    std::function<void(DeltaFetch&)> arrange;
    std::string reason;
};

class DeltaFallback : public DeltaFetch, public testing::WithParamInterface<Failure> {};

TEST_P(DeltaFallback, FetchesTheArchiveInstead) {
    GetParam().arrange(*this);
    // The note tells a reporter how much the run grew (UPDATE /QUIET's time left).
    std::int64_t grown = 0;
    c.report = [this, &grown, inner = c.report](const znt::InstallEvent& e) {
        if (e.kind == znt::InstallEventKind::DeltaNotUsed) grown = e.bytes;
        inner(e);
    };

    EXPECT_EQ(znt::RunInstall(c), InstallOutcome::Finished);
    EXPECT_EQ(grown, c.run.bytes.total - packages.entries.front().SizeBytes);

    EXPECT_EQ(events, (std::vector<std::string>{"no-delta big.bin.zip", "fetched big.bin.zip",
                                                "placed big.bin"}));
    ASSERT_FALSE(reasons.empty());
    // The reason starts so; a cut transfer's words are the platform's own.
    EXPECT_TRUE(reasons.front().starts_with(
        "no-delta big.bin.zip: big.bin.0123456789abcdef.zdelta: " + GetParam().reason))
        << reasons.front();
    EXPECT_EQ(server.RequestCount(ArchivePath("big.bin.zip")), 1);
    EXPECT_TRUE(messages.messages.size() == 1 && messages.messages.front().text == "T612");
    ExpectInstalledWithBytesCounted();
}

INSTANTIATE_TEST_SUITE_P(
    EveryWay, DeltaFallback,
    testing::Values(
        Failure{"ServerWithoutDeltas", [](DeltaFetch& t) { t.server.Remove(t.DeltaPath()); },
                "delta HTTP 404"},
        Failure{"AlteredUnsigned",
                [](DeltaFetch& t) {
                    std::string altered = t.served;
                    altered[48] = static_cast<char>(altered[48] ^ 1);  // the result's CRC
                    t.server.Serve(t.DeltaPath(), altered);
                },
                "result checksum differs"},
        Failure{"AlteredSigned",
                [](DeltaFetch& t) {
                    t.Sign();
                    std::string altered = t.served;
                    altered[48] = static_cast<char>(altered[48] ^ 1);
                    t.server.Serve(t.DeltaPath(), altered);
                },
                "delta hash mismatch"},
        Failure{"NotInTheSignedList",
                [](DeltaFetch& t) {
                    t.Sign();
                    t.c.archiveHashes.hexByName.erase(t.File().Delta->deltaName);
                    t.server.Remove(t.DeltaPath());  // never asked for
                },
                "delta not in the signed hash list"},
        Failure{"RebuildsOtherBytes",
                [](DeltaFetch& t) {
                    std::string other = t.next;
                    other[200] = static_cast<char>(other[200] ^ 1);
                    t.Offer(deltatest::SimpleDelta(t.base, other));
                },
                "rebuilt file differs from the index"},
        Failure{"CutInTheFile",
                [](DeltaFetch& t) { t.Offer(t.served.substr(0, t.served.size() / 2)); },
                "delta cut short"},
        Failure{"CutInTransfer",
                [](DeltaFetch& t) {
                    testsupport::LoopbackResponse r;
                    r.body = t.served;
                    r.sendOnly = t.served.size() / 2;
                    r.honourRanges = false;
                    t.server.Serve(t.DeltaPath(), r);
                },
                "delta "},
        Failure{"UnknownBase", [](DeltaFetch& t) { t.tmp.write("inst dir/big.bin", t.base + "x"); },
                "base too long"},
        Failure{"WrongResultSizeInTheIndex", [](DeltaFetch& t) { t.File().Delta->resultSize += 1; },
                "delta rebuilds 100008 bytes, the index says 100009"}),
    [](const testing::TestParamInfo<Failure>& info) { return std::string(info.param.name); });
