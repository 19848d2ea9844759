// Range requests and the response facts a resumed download acts on.

#include "OVShared/Platform/Inet.h"
#include "OVShared/Platform/Yield.h"
#include "support/Env.h"
#include "support/LoopbackServer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

using testsupport::LoopbackResponse;
using testsupport::LoopbackServer;

namespace {

std::string Pattern(std::size_t size) {
    std::string s(size, '\0');
    for (std::size_t i = 0; i < size; ++i) s[i] = testsupport::PatternByte(i);
    return s;
}

struct Outcome {
    std::string body;
    bool failed = false;
};

// One GET, read whole in state 12's handler.
Outcome Get(ov::InetControl& inet, const std::string& url,
            std::optional<std::uint64_t> rangeStart = std::nullopt,
            const std::string& ifRange = {}) {
    Outcome o;
    inet.StateChanged = [&](int state) {
        if (state == ov::icError) o.failed = true;
        if (state != ov::icResponseCompleted) return;
        while (true) {
            std::string chunk = inet.GetChunk(4096);
            if (chunk.empty()) break;
            o.body += chunk;
        }
    };
    EXPECT_TRUE(inet.Execute(url, "GET", rangeStart, ifRange));
    while (inet.StillExecuting()) ov::YieldToEventLoop();
    inet.StateChanged = nullptr;
    return o;
}

class InetRange : public testing::Test {
protected:
    void SetUp() override { testsupport::SetEnv("no_proxy", "127.0.0.1"); }

    LoopbackServer server;
    ov::InetControl inet;
};

TEST_F(InetRange, ARangeIsAskedOnlyWhenGivenAndTheAnswerTellsWhetherItWasHonoured) {
    std::string body = Pattern(200000);
    server.Serve("/ranged", body);
    LoopbackResponse whole;
    whole.body = body;
    whole.honourRanges = false;
    server.Serve("/whole", whole);

    Outcome plain = Get(inet, server.Url("/ranged"));
    EXPECT_EQ(plain.body, body);
    EXPECT_EQ(inet.ResponseCode(), 200);
    EXPECT_FALSE(inet.ContentRangeStart());

    Outcome rest = Get(inet, server.Url("/ranged"), 150000);
    EXPECT_EQ(rest.body, body.substr(150000));
    EXPECT_EQ(inet.ResponseCode(), 206);
    EXPECT_EQ(inet.ContentRangeStart(), 150000u);
    EXPECT_EQ(server.RangeHeaders("/ranged"), (std::vector<std::string>{"", "bytes=150000-"}));

    Outcome ignored = Get(inet, server.Url("/whole"), 150000);
    EXPECT_EQ(ignored.body, body);
    EXPECT_EQ(inet.ResponseCode(), 200);
    EXPECT_FALSE(inet.ContentRangeStart());
}

TEST_F(InetRange, TheValidatorIsKeptAndIfRangeGetsTheWholeBodyOnceItChanged) {
    std::string body = Pattern(200000);
    LoopbackResponse tagged;
    tagged.body = body;
    tagged.headers["ETag"] = "\"v2\"";
    tagged.headers["Last-Modified"] = "Tue, 08 Dec 2026 10:00:00 GMT";
    server.Serve("/tagged", tagged);
    LoopbackResponse weak = tagged;
    weak.headers["ETag"] = "W/\"v2\"";
    server.Serve("/weak", weak);

    Get(inet, server.Url("/tagged"));
    EXPECT_EQ(inet.Validator(), "\"v2\"");
    Get(inet, server.Url("/weak"));  // If-Range cannot use a weak tag
    EXPECT_EQ(inet.Validator(), "Tue, 08 Dec 2026 10:00:00 GMT");

    Outcome same = Get(inet, server.Url("/tagged"), 150000, "\"v2\"");
    EXPECT_EQ(same.body, body.substr(150000));
    EXPECT_EQ(inet.ResponseCode(), 206);
    Outcome changed = Get(inet, server.Url("/tagged"), 150000, "\"v1\"");
    EXPECT_EQ(changed.body, body);
    EXPECT_EQ(inet.ResponseCode(), 200);
    // A validator that would break the request's head is not sent.
    Get(inet, server.Url("/tagged"), 150000, "\"v2\"\r\nX-Injected: 1");
    EXPECT_EQ(server.IfRangeHeaders("/tagged"),
              (std::vector<std::string>{"", "\"v2\"", "\"v1\"", ""}));
}

TEST_F(InetRange, AnErrorStatusKeepsItsCodeAndRetryAfterInSecondsOnly) {
    LoopbackResponse busy;
    busy.status = 503;
    busy.body = "busy";
    busy.headers["Retry-After"] = "7";
    server.Serve("/busy", busy);
    LoopbackResponse dated = busy;
    dated.headers["Retry-After"] = "Wed, 21 Oct 2037 07:28:00 GMT";
    server.Serve("/dated", dated);

    Outcome o = Get(inet, server.Url("/busy"));
    EXPECT_TRUE(o.failed);
    EXPECT_TRUE(o.body.empty());
    EXPECT_EQ(inet.ResponseCode(), 503);
    EXPECT_EQ(inet.RetryAfterSeconds(), 7u);

    Get(inet, server.Url("/dated"));
    EXPECT_EQ(inet.ResponseCode(), 503);
    EXPECT_FALSE(inet.RetryAfterSeconds());

    Get(inet, "http://127.0.0.1:" + std::to_string(LoopbackServer::UnusedPort()) + "/x");
    EXPECT_EQ(inet.ResponseCode(), 0);
    EXPECT_FALSE(inet.RetryAfterSeconds());
}

}  // namespace
