#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "support/DripServer.h"
#include "support/Env.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using testsupport::DripServer;
using testsupport::LoopbackResponse;
using testsupport::LoopbackServer;

namespace {

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = testsupport::PatternByte(i);
    return s;
}

ov::InetOptions ShortTimeouts() {
    ov::InetOptions o;
    o.connectTimeout = 3s;
    o.stallTimeout = 1s;
    return o;
}

// Small windows, so the rate rule fires (or not) within a second; the stall
// time-out is long enough that only the rate rule can end a trickle.
ov::InetOptions RateLimited(std::size_t minBytesPerSecond) {
    ov::InetOptions o = ShortTimeouts();
    o.stallTimeout = 5s;
    o.minBytesPerSecond = minBytesPerSecond;
    o.rateWindow = 300ms;
    return o;
}

// A response whose header lines trickle in: 17 + 300 * 11 bytes before the body.
std::string ManyHeaderLines() {
    std::string reply = "HTTP/1.1 200 OK\r\n";
    for (int i = 0; i < 300; ++i) reply += "X-Drip: 0\r\n";
    return reply + "Content-Length: 1\r\n\r\nx";
}

std::string Gzip(const std::string& data) {
    z_stream z{};
    if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    std::string out(deflateBound(&z, data.size()), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool Contains(const std::vector<int>& v, int x) {
    return std::find(v.begin(), v.end(), x) != v.end();
}

struct Download {
    std::vector<int> states;
    std::vector<std::size_t> chunks;
    std::string body;
};

// Drives a GET as the download window does: wait while executing; on
// state 12 read chunks until an empty one (or cancel after cancelAfter chunks).
Download Fetch(ov::InetControl& inet, const std::string& url, std::size_t chunkSize = 1024,
               std::size_t cancelAfter = 0) {
    Download d;
    inet.StateChanged = [&](int state) {
        d.states.push_back(state);
        if (state != ov::icResponseCompleted) return;
        for (;;) {
            std::string chunk = inet.GetChunk(chunkSize);
            if (chunk.empty()) break;
            d.chunks.push_back(chunk.size());
            d.body += chunk;
            if (cancelAfter != 0 && d.chunks.size() == cancelAfter) {
                inet.Cancel();
                while (inet.StillExecuting()) ov::YieldToEventLoop();
                break;
            }
        }
    };
    EXPECT_TRUE(inet.Execute(url, "GET"));
    while (inet.StillExecuting()) ov::YieldToEventLoop();
    inet.StateChanged = nullptr;
    return d;
}

class Inet : public testing::Test {
protected:
    // A proxy set in the environment must not see loopback requests.
    void SetUp() override { testsupport::SetEnv("no_proxy", "127.0.0.1"); }

    LoopbackServer server;
};

}  // namespace

TEST_F(Inet, OpenUrlReturnsTheBodyOrNothing) {
    server.Serve("/ovw2010/packages.dat", "2\r\n1,\"a\"\r\n");
    server.Serve("/empty", "");
    LoopbackResponse moved;
    moved.status = 302;
    moved.location = "/ovw2010/packages.dat";
    server.Serve("/old/packages.dat", moved);
    LoopbackResponse failing;
    failing.status = 500;
    failing.body = "<html>error page</html>";
    server.Serve("/broken", failing);
    ov::InetControl inet(ShortTimeouts());

    EXPECT_EQ(inet.OpenUrl(server.Url("/ovw2010/packages.dat")), "2\r\n1,\"a\"\r\n");
    EXPECT_FALSE(inet.StillExecuting());
    EXPECT_EQ(inet.OpenUrl(server.Url("/old/packages.dat")), "2\r\n1,\"a\"\r\n");
    EXPECT_EQ(inet.OpenUrl(server.Url("/empty")), "");

    // An error page is not the file.
    EXPECT_FALSE(inet.OpenUrl(server.Url("/missing")));
    EXPECT_EQ(inet.ResponseCode(), 404);
    EXPECT_FALSE(inet.OpenUrl(server.Url("/broken")));
    EXPECT_EQ(inet.ResponseCode(), 500);
    EXPECT_FALSE(
        inet.OpenUrl("http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/x"));
    EXPECT_FALSE(inet.LastError().empty());
    EXPECT_FALSE(inet.OpenUrl("file:///etc/passwd"));
    EXPECT_FALSE(inet.StillExecuting());
}

TEST_F(Inet, RedirectsAreLimitedAndStayOnHttp) {
    LoopbackResponse loop;
    loop.status = 302;
    loop.location = "/loop";
    server.Serve("/loop", loop);
    LoopbackResponse away;
    away.status = 302;
    away.location = "file:///etc/passwd";
    server.Serve("/away", away);
    ov::InetOptions o = ShortTimeouts();
    o.maxRedirects = 3;
    ov::InetControl inet(o);

    EXPECT_FALSE(inet.OpenUrl(server.Url("/loop")));
    EXPECT_EQ(server.RequestCount("/loop"), 4);
    EXPECT_FALSE(inet.OpenUrl(server.Url("/away")));
    EXPECT_FALSE(inet.LastError().empty());
}

TEST_F(Inet, OpenUrlRefusesBodiesAboveItsLimit) {
    server.Serve("/big", Pattern(5000));
    ov::InetOptions o = ShortTimeouts();
    o.maxOpenUrlBytes = 4999;
    ov::InetControl inet(o);
    EXPECT_FALSE(inet.OpenUrl(server.Url("/big")));
    o.maxOpenUrlBytes = 5000;
    ov::InetControl roomy(o);
    EXPECT_EQ(roomy.OpenUrl(server.Url("/big")), Pattern(5000));
}

TEST_F(Inet, GoodTransferRisesThroughTheStatesAndEndsCompleted) {
    server.Serve("/a.zip", Pattern(3000));
    ov::InetControl inet(ShortTimeouts());
    Download d = Fetch(inet, server.Url("/a.zip"));
    EXPECT_EQ(d.states, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 12}));
    EXPECT_EQ(d.chunks, (std::vector<std::size_t>{1024, 1024, 952}));
    EXPECT_EQ(d.body, Pattern(3000));
    EXPECT_EQ(inet.ResponseCode(), 200);
    EXPECT_TRUE(inet.GetChunk(1024).empty());
}

TEST_F(Inet, FailedTransfersEndWithErrorAndDeliverNoData) {
    LoopbackResponse cut;
    cut.body = Pattern(3000);
    cut.sendOnly = 1500;  // announces 3000 bytes, closes after 1500
    server.Serve("/cut.zip", cut);
    ov::InetControl inet(ShortTimeouts());

    const std::string urls[] = {
        "http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/a.zip",
        server.Url("/missing.zip"),
        server.Url("/cut.zip"),
    };
    for (const auto& url : urls) {
        SCOPED_TRACE(url);
        Download d = Fetch(inet, url);
        ASSERT_FALSE(d.states.empty());
        EXPECT_EQ(d.states.front(), ov::icResolvingHost);
        EXPECT_EQ(d.states.back(), ov::icError);
        EXPECT_FALSE(Contains(d.states, ov::icResponseCompleted));
        EXPECT_TRUE(d.body.empty());
        EXPECT_FALSE(inet.LastError().empty());
    }
    EXPECT_FALSE(inet.Execute(server.Url("/cut.zip"), "POST"));
}

TEST_F(Inet, LargeBodiesStreamThroughABoundedBuffer) {
    constexpr std::size_t kSize = 20u << 20;
    LoopbackResponse big;
    big.generatedSize = kSize;
    server.Serve("/big.zip", big);
    ov::InetOptions o = ShortTimeouts();
    o.bufferLimit = 256 * 1024;
    ov::InetControl inet(o);

    Download d = Fetch(inet, server.Url("/big.zip"), 64 * 1024);
    EXPECT_EQ(d.states.back(), ov::icResponseCompleted);
    ASSERT_EQ(d.body.size(), kSize);
    EXPECT_TRUE(d.body == Pattern(kSize));
    EXPECT_GT(inet.BufferHighWater(), 0u);
    EXPECT_LE(inet.BufferHighWater(), o.bufferLimit);
}

TEST_F(Inet, ALargeBodyCutShortEndsWithErrorAfterStreaming) {
    LoopbackResponse cut;
    cut.generatedSize = 4u << 20;
    cut.sendOnly = 2u << 20;
    server.Serve("/cut.zip", cut);
    ov::InetOptions o = ShortTimeouts();
    o.bufferLimit = 64 * 1024;
    ov::InetControl inet(o);
    Download d = Fetch(inet, server.Url("/cut.zip"), 4096);
    EXPECT_TRUE(Contains(d.states, ov::icResponseCompleted));
    EXPECT_EQ(d.states.back(), ov::icError);
    EXPECT_LE(d.body.size(), 2u << 20);
}

TEST_F(Inet, StalledServersTimeOut) {
    LoopbackResponse silent;
    silent.delay = std::chrono::hours(1);
    server.Serve("/silent", silent);
    LoopbackResponse stuck;
    stuck.body = Pattern(3000);
    stuck.sendOnly = 1000;
    stuck.holdOpenAfterSending = true;
    server.Serve("/stuck", stuck);
    ov::InetControl inet(ShortTimeouts());

    for (const char* path : {"/silent", "/stuck"}) {
        SCOPED_TRACE(path);
        Download d = Fetch(inet, server.Url(path));
        ASSERT_FALSE(d.states.empty());
        EXPECT_EQ(d.states.back(), ov::icError);
        EXPECT_TRUE(d.body.empty());
    }
    EXPECT_FALSE(inet.OpenUrl(server.Url("/silent")));
}

TEST_F(Inet, CancelFromTheHandlerStopsTheTransferAndTheControlStaysUsable) {
    LoopbackResponse big;
    big.generatedSize = 20u << 20;
    server.Serve("/big.zip", big);
    server.Serve("/small.zip", Pattern(100));
    ov::InetOptions o = ShortTimeouts();
    o.bufferLimit = 64 * 1024;
    ov::InetControl inet(o);

    Download d = Fetch(inet, server.Url("/big.zip"), 1024, 10);
    EXPECT_EQ(d.chunks.size(), 10u);
    EXPECT_EQ(d.states.back(), ov::icResponseCompleted);  // nothing is raised after Cancel
    EXPECT_FALSE(inet.StillExecuting());
    EXPECT_TRUE(inet.GetChunk(1024).empty());

    Download again = Fetch(inet, server.Url("/small.zip"));
    EXPECT_EQ(again.body, Pattern(100));
    EXPECT_EQ(again.states.back(), ov::icResponseCompleted);
    inet.Cancel();  // harmless when idle
}

TEST_F(Inet, ASecondTransferWaitsForTheFirst) {
    LoopbackResponse slow;
    slow.delay = 300ms;
    slow.body = "x";
    server.Serve("/slow", slow);
    ov::InetControl inet(ShortTimeouts());
    ASSERT_TRUE(inet.Execute(server.Url("/slow"), "get"));
    EXPECT_FALSE(inet.Execute(server.Url("/slow"), "GET"));
    EXPECT_FALSE(inet.OpenUrl(server.Url("/slow")));
    while (inet.StillExecuting()) ov::YieldToEventLoop();
    EXPECT_EQ(inet.GetChunk(10), "x");
}

TEST_F(Inet, DestroyingTheControlStopsARunningTransfer) {
    LoopbackResponse big;
    big.generatedSize = 20u << 20;
    server.Serve("/big.zip", big);
    LoopbackResponse silent;
    silent.delay = std::chrono::hours(1);
    server.Serve("/silent", silent);
    for (const char* path : {"/big.zip", "/silent"}) {
        ov::InetOptions o;
        o.bufferLimit = 64 * 1024;
        auto inet = std::make_unique<ov::InetControl>(o);
        ASSERT_TRUE(inet->Execute(server.Url(path), "GET"));
        for (int i = 0; i < 20; ++i) inet->StillExecuting();
        inet.reset();
    }
    SUCCEED();
}

// Without the rate rule each of these would run for a minute or more: the
// stall time-out never fires because a byte or a header line keeps coming.
TEST_F(Inet, TricklingServersFailBelowTheMinimumRate) {
    LoopbackResponse trickle;
    trickle.body = Pattern(3000);
    trickle.dripInterval = 50ms;
    server.Serve("/trickle.zip", trickle);
    DripServer headers(ManyHeaderLines(), 50ms, 17);  // the status line at once
    ov::InetControl inet(RateLimited(50));            // 15 bytes per 300 ms window

    for (const std::string& url : {server.Url("/trickle.zip"), headers.Url("/a.zip")}) {
        SCOPED_TRACE(url);
        auto start = std::chrono::steady_clock::now();
        Download d = Fetch(inet, url);
        ASSERT_FALSE(d.states.empty());
        EXPECT_EQ(d.states.back(), ov::icError);
        EXPECT_TRUE(d.body.empty());
        EXPECT_NE(inet.LastError().find("bytes/s"), std::string::npos) << inet.LastError();
        EXPECT_FALSE(inet.OpenUrl(url));
        EXPECT_LT(SecondsSince(start), 20.0);  // a hang guard
    }
}

TEST_F(Inet, TransfersAboveTheMinimumRateOrHeldUpByTheReaderComplete) {
    LoopbackResponse steady;
    steady.body = Pattern(600);
    steady.dripInterval = 10ms;  // spans several windows at about ten times the minimum,
    steady.dripBytes = 5;        // with room for Wine's slower sockets
    server.Serve("/steady.zip", steady);
    ov::InetControl slowButSteady(RateLimited(50));
    EXPECT_TRUE(Fetch(slowButSteady, server.Url("/steady.zip")).body == Pattern(600))
        << slowButSteady.LastError();

    // The reader leaves a full buffer alone for three windows; a fast server
    // is not to blame for that.
    LoopbackResponse big;
    big.generatedSize = 4u << 20;
    server.Serve("/big.zip", big);
    ov::InetOptions o = RateLimited(256 * 1024);
    o.bufferLimit = 64 * 1024;
    ov::InetControl inet(o);
    bool paused = false;
    inet.StateChanged = [&](int state) {
        if (state == ov::icResponseCompleted && !paused) std::this_thread::sleep_for(1s);
        paused = true;
    };
    ASSERT_TRUE(inet.Execute(server.Url("/big.zip")));
    std::string body;
    while (inet.StillExecuting()) body += inet.GetChunk(64 * 1024);
    for (std::string chunk; !(chunk = inet.GetChunk(64 * 1024)).empty();) body += chunk;
    EXPECT_TRUE(body == Pattern(4u << 20)) << inet.LastError();
}

TEST_F(Inet, CancelAndTheDestructorEndADrippingTransferPromptly) {
    LoopbackResponse trickle;
    trickle.body = Pattern(3000);
    trickle.dripInterval = 100ms;
    server.Serve("/trickle.zip", trickle);
    DripServer headers(ManyHeaderLines(), 100ms, 17);

    for (const std::string& url : {server.Url("/trickle.zip"), headers.Url("/a.zip")}) {
        SCOPED_TRACE(url);
        ov::InetControl inet;  // default time-outs and rate: none of them fires here
        std::vector<int> states;
        inet.StateChanged = [&](int state) { states.push_back(state); };
        ASSERT_TRUE(inet.Execute(url));
        auto start = std::chrono::steady_clock::now();
        while (SecondsSince(start) < 0.5) inet.StillExecuting();
        ASSERT_TRUE(Contains(states, ov::icReceivingResponse));
        std::size_t seen = states.size();
        start = std::chrono::steady_clock::now();
        inet.Cancel();
        EXPECT_LT(SecondsSince(start), 3.0);  // a hang guard: it takes one poll
        EXPECT_FALSE(inet.StillExecuting());
        EXPECT_EQ(states.size(), seen);

        auto doomed = std::make_unique<ov::InetControl>();
        ASSERT_TRUE(doomed->Execute(url));
        std::this_thread::sleep_for(300ms);
        start = std::chrono::steady_clock::now();
        doomed.reset();
        EXPECT_LT(SecondsSince(start), 3.0);
    }
}

TEST_F(Inet, CompressedBodiesAreDecodedAndTheCapCountsDecodedBytes) {
    const std::string text = "2\r\n1,\"a\"\r\n" + std::string(5000, 'z');
    LoopbackResponse packed;
    packed.body = Gzip(text);
    packed.headers["Content-Encoding"] = "gzip";
    server.Serve("/packages.dat", packed);
    LoopbackResponse bomb;
    bomb.body = Gzip(std::string(8u << 20, '\0'));  // about 8 KiB on the wire
    bomb.headers["Content-Encoding"] = "gzip";
    server.Serve("/bomb.dat", bomb);
    ASSERT_LT(bomb.body.size(), 64u * 1024);
    ov::InetOptions o = ShortTimeouts();
    o.maxOpenUrlBytes = 1u << 20;
    o.bufferLimit = 64 * 1024;
    ov::InetControl inet(o);

    EXPECT_EQ(inet.OpenUrl(server.Url("/packages.dat")), text);
    EXPECT_EQ(Fetch(inet, server.Url("/packages.dat")).body, text);
    EXPECT_FALSE(inet.OpenUrl(server.Url("/bomb.dat")));
    EXPECT_LE(inet.BufferHighWater(), o.bufferLimit);
    // Streamed, the whole decoded body arrives through the bounded buffer.
    Download d = Fetch(inet, server.Url("/bomb.dat"), 64 * 1024);
    EXPECT_EQ(d.body.size(), 8u << 20);
    EXPECT_LE(inet.BufferHighWater(), o.bufferLimit);
}

TEST_F(Inet, CompressedBodiesCutShortOrDamagedAreFailures) {
    const std::string text = "2\r\n1,\"a\"\r\n" + std::string(50000, 'q') + Pattern(20000);
    const std::string packed = Gzip(text);
    LoopbackResponse noTrailer;
    noTrailer.body = packed.substr(0, packed.size() - 8);  // announced at that length
    LoopbackResponse badCrc;
    badCrc.body = packed;
    badCrc.body[packed.size() - 8] = static_cast<char>(badCrc.body[packed.size() - 8] ^ 0x55);
    LoopbackResponse cut;
    cut.body = packed;
    cut.sendOnly = packed.size() / 2;  // the full length announced
    for (LoopbackResponse* r : {&noTrailer, &badCrc, &cut}) r->headers["Content-Encoding"] = "gzip";
    server.Serve("/no-trailer", noTrailer);
    server.Serve("/bad-crc", badCrc);
    server.Serve("/cut", cut);
    ov::InetControl inet(ShortTimeouts());

    for (const char* path : {"/no-trailer", "/bad-crc", "/cut"}) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(inet.OpenUrl(server.Url(path)));
        ov::InetFetch f = inet.OpenUrlIf(server.Url(path), {"\"v1\"", ""});
        EXPECT_EQ(f.outcome, ov::InetFetch::Outcome::Failed);
        EXPECT_FALSE(f.error.empty());
    }
}

TEST_F(Inet, ConditionalFetchesGetNotModifiedOrTheBodyWithItsValidators) {
    const std::string date = "Tue, 08 Dec 2026 10:00:00 GMT";
    LoopbackResponse catalogue;
    catalogue.body = "2\r\n1,\"a\"\r\n";
    catalogue.headers = {{"ETag", "W/\"5f-1\""}, {"Last-Modified", date}};
    server.Serve("/packages.dat", catalogue);
    catalogue.honourConditions = false;
    server.Serve("/always.dat", catalogue);
    ov::InetControl inet(ShortTimeouts());
    const std::string url = server.Url("/packages.dat");
    using Outcome = ov::InetFetch::Outcome;

    // First fetch: the body and both validators, a weak ETag included.
    ov::InetFetch first = inet.OpenUrlIf(url, {});
    ASSERT_EQ(first.outcome, Outcome::Body);
    EXPECT_EQ(first.body, catalogue.body);
    EXPECT_EQ(first.validators.entityTag, "W/\"5f-1\"");
    EXPECT_EQ(first.validators.lastModified, date);
    // Asked again with them, or with the date alone: not modified, no body.
    EXPECT_EQ(inet.OpenUrlIf(url, first.validators).outcome, Outcome::NotModified);
    EXPECT_EQ(server.IfNoneMatchHeaders("/packages.dat").back(), "W/\"5f-1\"");
    EXPECT_EQ(inet.OpenUrlIf(url, {"", date}).outcome, Outcome::NotModified);
    // A stale tag gets the body; so does a server that ignores the question.
    EXPECT_EQ(inet.OpenUrlIf(url, {"\"old\"", ""}).body, catalogue.body);
    ov::InetFetch ignored = inet.OpenUrlIf(server.Url("/always.dat"), first.validators);
    EXPECT_EQ(ignored.outcome, Outcome::Body);
    EXPECT_EQ(ignored.body, catalogue.body);

    // Validators that could break the request are not sent; the body comes.
    const std::string overlong =
        "\"" + std::string(ov::InetControl::kMaxValidatorLength, 'x') + "\"";
    for (const std::string& bad : {std::string("W/\"5f-1\"\r\nX-Evil: 1"), overlong}) {
        EXPECT_EQ(inet.OpenUrlIf(url, {bad, ""}).outcome, Outcome::Body);
        EXPECT_EQ(server.IfNoneMatchHeaders("/packages.dat").back(), "");
    }
    // A 304 to a request that asked nothing, and an error status, are failures.
    LoopbackResponse unasked;
    unasked.status = 304;
    server.Serve("/unasked.dat", unasked);
    EXPECT_EQ(inet.OpenUrlIf(server.Url("/unasked.dat"), {}).outcome, Outcome::Failed);
    ov::InetFetch missing = inet.OpenUrlIf(server.Url("/missing.dat"), first.validators);
    EXPECT_EQ(missing.outcome, Outcome::Failed);
    EXPECT_EQ(missing.error, "HTTP 404");
}
