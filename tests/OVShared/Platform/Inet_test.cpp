#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

using namespace std::chrono_literals;
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

bool Contains(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

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
    void SetUp() override { ::setenv("no_proxy", "127.0.0.1", 1); }

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
    EXPECT_FALSE(inet.OpenUrl("http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/x"));
    EXPECT_FALSE(inet.LastError().empty());
    EXPECT_FALSE(inet.OpenUrl("file:///etc/passwd"));
    EXPECT_FALSE(inet.StillExecuting());
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
