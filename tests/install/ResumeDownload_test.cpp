// Retried, resumed and reused archive downloads.

#include "install/FetchFromSource.h"

#include "InstallFixture.h"
#include "catalogue/Signature.h"
#include "install/DownloadRetry.h"

#include <algorithm>
#include <chrono>

using namespace std::chrono_literals;
using installtest::InstallTest;
using testsupport::LoopbackResponse;
using testsupport::ReadFile;
using znt::DownloadControl;

namespace {

// Larger than the control's 64 KiB streaming threshold, so bytes reach the
// part file before a connection drops.
constexpr std::size_t kArchiveBytes = 300000;
constexpr std::size_t kDropAt = 200000;

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = testsupport::PatternByte(i);
    return s;
}

const std::string kTag = "\"v1\"";

LoopbackResponse Whole(bool ranges = true) {
    LoopbackResponse r;
    r.body = Pattern(kArchiveBytes);
    r.honourRanges = ranges;
    r.headers["ETag"] = kTag;
    return r;
}

// The connection closes after kDropAt bytes; when held, only once
// DropWhenRead ends it.
LoopbackResponse Dropped(bool held = false) {
    LoopbackResponse r = Whole();
    r.sendOnly = kDropAt;
    r.holdOpenAfterSending = held;
    return r;
}

LoopbackResponse Status(int status, const std::string& retryAfter = "") {
    LoopbackResponse r;
    r.status = status;
    r.body = "try later";
    if (!retryAfter.empty()) r.headers["Retry-After"] = retryAfter;
    return r;
}

class ResumeDownload : public InstallTest {
protected:
    void AddArchives(const std::vector<std::string>& names) {
        std::vector<std::pair<std::string, std::string>> files;
        for (const auto& n : names) files.emplace_back(n, Pattern(kArchiveBytes));
        AddPackage(files, true, false);
        c.run.bytes.total = static_cast<std::int64_t>(kArchiveBytes * names.size());
    }
    std::string Cached(const std::string& archive) const {
        return ReadFile(tmp.file("inst dir/core/cache/" + archive));
    }
    static bool Rising(const std::vector<int>& v) { return std::is_sorted(v.begin(), v.end()); }
    // Drops a held connection once all it sent is in the part file, so the
    // bytes that reach the disk before the drop do not depend on timing.
    // What a kill then would leave beside the part file is kept in tagAtDrop.
    void DropWhenRead() {
        ov::SetYieldHook([this] {
            if (c.run.bytes.received != static_cast<std::int64_t>(kDropAt)) return;
            if (tagAtDrop.empty())
                tagAtDrop = ReadFile(tmp.file("inst dir/core/cache/a.bin.zip.part.tag"));
            server.DropHeld();
        });
    }
    // A part file an earlier run left, with the validator it recorded (none when empty).
    void LeftPart(const std::string& archive, const std::string& bytes, const std::string& url,
                  const std::string& validator) {
        tmp.write("inst dir/core/cache/" + archive + ".part", bytes);
        if (!validator.empty()) {
            tmp.write("inst dir/core/cache/" + archive + ".part.tag",
                      url + "\n" + validator + "\n");
        }
    }
    std::string tagAtDrop;
};

TEST_F(ResumeDownload, ADroppedConnectionIsResumedWithARangeRequest) {
    AddArchives({"a.bin"});
    server.ServeOnce(ArchivePath("a.bin.zip"), Dropped(true));
    server.Serve(ArchivePath("a.bin.zip"), Whole());
    DropWhenRead();

    ASSERT_TRUE(znt::FetchFromSource(c, 1, 1));

    EXPECT_EQ(Cached("a.bin.zip"), Pattern(kArchiveBytes));
    std::vector<std::string> ranges = server.RangeHeaders(ArchivePath("a.bin.zip"));
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0], "");
    EXPECT_EQ(ranges[1], "bytes=" + std::to_string(kDropAt) + "-");
    // The range names the body it continues, as recorded beside the part file.
    EXPECT_EQ(server.IfRangeHeaders(ArchivePath("a.bin.zip")),
              (std::vector<std::string>{"", kTag}));
    EXPECT_EQ(tagAtDrop, server.Url(ArchivePath("a.bin.zip")) + "\n" + kTag + "\n");
    EXPECT_EQ(waits, std::vector<std::chrono::milliseconds>{1s});
    // The resumed bytes are counted once; the bars never fall back.
    EXPECT_EQ(c.run.bytes.received, static_cast<std::int64_t>(kArchiveBytes));
    EXPECT_TRUE(Rising(view.Values(DownloadControl::PBAR)));
    EXPECT_EQ(view.Values(DownloadControl::PTOTAL).back(), 100);
}

TEST_F(ResumeDownload, AnAnswerThatDoesNotContinueThePartFileStartsItOver) {
    AddArchives({"a.bin", "b.bin"});
    std::string a = ArchivePath("a.bin.zip");
    std::string b = ArchivePath("b.bin.zip");
    server.ServeOnce(a, Dropped(true));
    server.Serve(a, Whole(false));  // 200 with the whole body
    server.ServeOnce(b, Dropped(true));
    LoopbackResponse elsewhere = Whole();
    elsewhere.status = 206;  // the whole body, labelled as a range from 0
    elsewhere.headers["Content-Range"] = "bytes 0-299999/300000";
    server.ServeOnce(b, elsewhere);
    server.Serve(b, Whole());
    DropWhenRead();

    ASSERT_TRUE(znt::FetchFromSource(c, 1, 1));
    std::vector<int> bar = view.Values(DownloadControl::PBAR);
    EXPECT_FALSE(Rising(bar));  // back to the start for the whole body
    EXPECT_EQ(bar.back(), 100);
    ASSERT_TRUE(znt::FetchFromSource(c, 1, 2));

    EXPECT_EQ(Cached("a.bin.zip"), Pattern(kArchiveBytes));
    EXPECT_EQ(Cached("b.bin.zip"), Pattern(kArchiveBytes));
    EXPECT_EQ(server.RequestCount(a), 2);
    EXPECT_EQ(server.RangeHeaders(b),
              (std::vector<std::string>{"", "bytes=" + std::to_string(kDropAt) + "-", ""}));
    EXPECT_EQ(c.run.bytes.received, static_cast<std::int64_t>(2 * kArchiveBytes));
}

TEST_F(ResumeDownload, FailuresAreRetriedThreeTimesAsTheServerAsksThenTheArchiveIsRefused) {
    AddArchives({"a.bin", "gone.bin", "busy.bin"});
    std::string a = ArchivePath("a.bin.zip");
    server.ServeOnce(a, Status(503, "120"));  // longer than the longest wait
    server.ServeOnce(a, Dropped());
    server.ServeOnce(a, Status(503, "0"));
    server.Serve(a, Status(500));
    server.Serve(ArchivePath("busy.bin.zip"), Status(429, "1"));

    EXPECT_FALSE(znt::FetchFromSource(c, 1, 1));
    EXPECT_EQ(server.RequestCount(a), 4);
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{30s, 2s, 0s}));
    EXPECT_TRUE(CacheEntries().empty());  // the part file of the dropped try is gone too

    waits.clear();
    EXPECT_FALSE(znt::FetchFromSource(c, 1, 2));  // 404: asking again cannot help
    EXPECT_EQ(server.RequestCount(ArchivePath("gone.bin.zip")), 1);
    EXPECT_FALSE(znt::FetchFromSource(c, 1, 3));  // 429 asks to come back
    EXPECT_EQ(server.RequestCount(ArchivePath("busy.bin.zip")), 4);
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{1s, 1s, 1s}));

    waits.clear();
    c.source.serverBase =
        "http://127.0.0.1:" + std::to_string(testsupport::LoopbackServer::UnusedPort());
    EXPECT_FALSE(znt::FetchFromSource(c, 1, 1));  // refused connections back off
    EXPECT_EQ(waits, (std::vector<std::chrono::milliseconds>{1s, 2s, 4s}));
    EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(ResumeDownload, CancelDuringTheWaitBeforeARetryStopsAtOnce) {
    AddArchives({"a.bin"});
    server.Serve(ArchivePath("a.bin.zip"), Status(503, "30"));
    bool waiting = false;
    c.retry.wait = [&](std::chrono::milliseconds wait, const std::function<bool()>& cancelled) {
        waiting = true;
        return znt::WaitYielding(wait, cancelled);
    };
    ov::SetYieldHook([&] {
        if (waiting && !view.cancel.Pressed()) view.ClickCancel();
    });
    auto started = std::chrono::steady_clock::now();

    EXPECT_FALSE(znt::FetchFromSource(c, 1, 1));

    EXPECT_TRUE(waiting);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);  // not the 30 s asked for
    EXPECT_EQ(server.RequestCount(ArchivePath("a.bin.zip")), 1);
    EXPECT_TRUE(CacheEntries().empty());
}

TEST_F(ResumeDownload, WhatAnEarlierRunLeftIsUsedOnlyWithProofOfItsBytes) {
    AddArchives({"whole.bin", "tagged.bin", "changed.bin", "untagged.bin", "elsewhere.bin"});
    const std::string head = Pattern(kArchiveBytes).substr(0, 1000);
    const std::string stranger(1000, 'x');
    for (const char* name : {"whole", "tagged", "changed", "untagged", "elsewhere"}) {
        server.Serve(ArchivePath(std::string(name) + ".bin.zip"), Whole());
    }
    // Without a signed hash, an archive at its length may hold anything.
    tmp.write("inst dir/core/cache/whole.bin.zip", std::string(kArchiveBytes, 'x'));
    LeftPart("tagged.bin.zip", head, server.Url(ArchivePath("tagged.bin.zip")), kTag);
    LeftPart("changed.bin.zip", stranger, server.Url(ArchivePath("changed.bin.zip")), "\"v0\"");
    LeftPart("untagged.bin.zip", stranger, "", "");
    LeftPart("elsewhere.bin.zip", stranger, "http://127.0.0.1:1/ovw2010/files/elsewhere.bin.zip",
             kTag);

    for (int j = 1; j <= 5; ++j) EXPECT_TRUE(znt::FetchFromSource(c, 1, j)) << j;

    const std::string from = "bytes=1000-";
    auto asked = [&](const char* archive) {
        return std::pair{server.RangeHeaders(ArchivePath(archive)),
                         server.IfRangeHeaders(ArchivePath(archive))};
    };
    using Asked = std::pair<std::vector<std::string>, std::vector<std::string>>;
    EXPECT_EQ(asked("whole.bin.zip"), (Asked{{""}, {""}}));
    EXPECT_EQ(asked("tagged.bin.zip"), (Asked{{from}, {kTag}}));
    EXPECT_EQ(asked("changed.bin.zip"), (Asked{{from}, {"\"v0\""}}));  // answered whole
    EXPECT_EQ(asked("untagged.bin.zip"), (Asked{{""}, {""}}));
    EXPECT_EQ(asked("elsewhere.bin.zip"), (Asked{{""}, {""}}));
    std::vector<std::string> cached = CacheEntries();
    std::sort(cached.begin(), cached.end());
    EXPECT_EQ(cached,
              (std::vector<std::string>{"changed.bin.zip", "elsewhere.bin.zip", "tagged.bin.zip",
                                        "untagged.bin.zip", "whole.bin.zip"}));
    for (const auto& name : cached) EXPECT_EQ(Cached(name), Pattern(kArchiveBytes)) << name;
    EXPECT_EQ(c.run.bytes.received, static_cast<std::int64_t>(5 * kArchiveBytes));
    EXPECT_EQ(view.Values(DownloadControl::PTOTAL).back(), 100);
}

// Under a signed catalogue the hash is taken while the bytes are written:
// over a dropped and resumed transfer, a continued leftover, a leftover that
// the server's whole answer starts over, and a copy from a folder alike.
TEST_F(ResumeDownload, TheSignedHashIsTakenOverResumedContinuedRestartedAndCopiedBytes) {
    AddArchives({"a.bin", "tagged.bin", "restarted.bin", "copied.bin", "forged.bin"});
    const std::string body = Pattern(kArchiveBytes);
    c.archiveHashes.required = true;
    for (const char* name : {"a", "tagged", "restarted", "copied", "forged"}) {
        c.archiveHashes.hexByName[std::string(name) + ".bin.zip"] = znt::Sha256Hex(body);
    }
    server.ServeOnce(ArchivePath("a.bin.zip"), Dropped(true));
    server.Serve(ArchivePath("a.bin.zip"), Whole());
    server.Serve(ArchivePath("tagged.bin.zip"), Whole());
    server.Serve(ArchivePath("restarted.bin.zip"), Whole(false));
    LeftPart("tagged.bin.zip", body.substr(0, 1000), server.Url(ArchivePath("tagged.bin.zip")),
             kTag);
    LeftPart("restarted.bin.zip", std::string(1000, 'x'),
             server.Url(ArchivePath("restarted.bin.zip")), kTag);
    DropWhenRead();

    for (int j = 1; j <= 3; ++j) {
        std::string reason;
        EXPECT_TRUE(znt::FetchFromSource(c, 1, j, &reason)) << j << ": " << reason;
    }
    EXPECT_EQ(server.RangeHeaders(ArchivePath("a.bin.zip")),
              (std::vector<std::string>{"", "bytes=" + std::to_string(kDropAt) + "-"}));
    EXPECT_EQ(server.RangeHeaders(ArchivePath("tagged.bin.zip")),
              std::vector<std::string>{"bytes=1000-"});
    EXPECT_EQ(server.RequestCount(ArchivePath("restarted.bin.zip")), 1);  // answered whole at once

    tmp.write("cd/files/copied.bin.zip", body);
    tmp.write("cd/files/forged.bin.zip", std::string(kArchiveBytes, 'f'));
    c.source = {false, tmp.file("cd"), ""};
    EXPECT_TRUE(znt::FetchFromSource(c, 1, 4));
    std::string reason;
    EXPECT_FALSE(znt::FetchFromSource(c, 1, 5, &reason));
    EXPECT_EQ(reason, "hash mismatch");
    EXPECT_TRUE(c.run.archiveRefused);
    for (const char* name : {"a", "tagged", "restarted", "copied"}) {
        EXPECT_EQ(Cached(std::string(name) + ".bin.zip"), body) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(tmp.file("inst dir/core/cache/forged.bin.zip")));
}

}  // namespace
