// The far server that the transfer tests and benchmarks count connections
// with, checked over a raw socket so that no client's reuse rules are involved.

#include "support/FarServer.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <map>

using namespace std::chrono_literals;
using testsupport::FarServer;
namespace net = testsupport::net;

namespace {

struct Reply {
    int status = 0;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    bool complete = false;  // the whole announced body arrived
};

// One client connection that sends requests and reads their answers in turn.
class Client {
public:
    explicit Client(const FarServer& server) : s_(net::ConnectLoopback(server.Port())) {}
    ~Client() { net::Close(s_); }

    void Send(const std::string& request) {
        for (std::size_t sent = 0; sent < request.size();) {
            ASSERT_TRUE(net::WaitWritable(s_, 5000));
            long n = net::SendSome(s_, request.data() + sent, request.size() - sent);
            ASSERT_GE(n, 0);
            sent += static_cast<std::size_t>(n);
        }
    }
    Reply Get(const std::string& path, const std::string& headers = "") {
        Send("GET " + path + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n");
        return Read();
    }
    // One answer; without a body when it answers a HEAD.
    Reply Read(bool head = false) {
        Reply r;
        std::size_t end;
        while ((end = pending_.find("\r\n\r\n")) == std::string::npos)
            if (!More()) return r;
        std::string text = pending_.substr(0, end + 2);
        pending_.erase(0, end + 4);
        r.status = std::stoi(text.substr(9, 3));
        for (std::size_t at = text.find("\r\n"); at + 2 < text.size();) {
            std::size_t next = text.find("\r\n", at + 2);
            std::string line = text.substr(at + 2, next - at - 2);
            std::size_t colon = line.find(':');
            std::string name = line.substr(0, colon);
            for (char& c : name) c = static_cast<char>(std::tolower(c));
            r.headers[name] = line.substr(colon + 2);
            at = next;
        }
        std::size_t length = head ? 0 : std::stoul(r.headers["content-length"]);
        while (pending_.size() < length)
            if (!More()) break;
        r.body = pending_.substr(0, length);
        pending_.erase(0, r.body.size());
        r.complete = r.body.size() == length;
        return r;
    }
    // True when the server closes the connection (with nothing more to read).
    bool Closed() { return !More() && pending_.empty(); }
    // True when nothing arrives for a while.
    bool Quiet(std::chrono::milliseconds ms) {
        return !net::WaitReadable(s_, static_cast<int>(ms.count()));
    }

private:
    bool More() {
        char buffer[4096];
        if (!net::WaitReadable(s_, 5000)) return false;
        long n = net::Receive(s_, buffer, sizeof buffer);
        if (n <= 0) return false;
        pending_.append(buffer, static_cast<std::size_t>(n));
        return true;
    }
    net::Socket s_;
    std::string pending_;
};

testsupport::FarServerOptions Rooted(const std::string& root) {
    testsupport::FarServerOptions options;
    options.root = root;
    return options;
}

}  // namespace

TEST(FarServer, OneConnectionCarriesRequestsUntilACloseIsAsked) {
    FarServer server;
    server.Serve("/a", "alpha");
    server.Serve("/b", "bravo");
    {
        Client client(server);
        EXPECT_EQ(client.Get("/a").body, "alpha");
        EXPECT_EQ(client.Get("/b").body, "bravo");
        client.Send("GET /b HTTP/1.1\r\n\r\nGET /a HTTP/1.1\r\n\r\n");  // pipelined
        EXPECT_EQ(client.Read().body, "bravo");
        EXPECT_EQ(client.Read().body, "alpha");
        EXPECT_EQ(server.Connections(), 1);
        EXPECT_EQ(server.Requests(), 4);
        Reply last = client.Get("/a", "Connection: close\r\n");
        EXPECT_EQ(last.headers["connection"], "close");
        EXPECT_TRUE(client.Closed());
    }
    {
        Client client(server);
        client.Send("GET /a HTTP/1.0\r\n\r\n");
        EXPECT_EQ(client.Read().body, "alpha");
        EXPECT_TRUE(client.Closed());
    }
    server.SetCloseAfterEachResponse(true);
    Client client(server);
    EXPECT_EQ(client.Get("/a").headers["connection"], "close");
    EXPECT_TRUE(client.Closed());
    EXPECT_EQ(server.Connections(), 3);
    EXPECT_EQ(server.Requests(), 7);
}

TEST(FarServer, WaitsBeforeAConnectionsFirstReadAndBeforeEachAnswer) {
    testsupport::FarServerOptions far;
    far.connectDelay = 100ms;
    far.responseDelay = 50ms;
    FarServer server(far);
    server.Serve("/a", "alpha");
    auto start = std::chrono::steady_clock::now();
    Client client(server);
    EXPECT_EQ(client.Get("/a").status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
    start = std::chrono::steady_clock::now();
    EXPECT_EQ(client.Get("/a").status, 200);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 50ms);
}

TEST(FarServer, ConnectionsBeyondTheCapWaitUntilOneEnds) {
    testsupport::FarServerOptions one;
    one.maxConnections = 1;
    FarServer server(one);
    server.Serve("/a", "alpha");
    auto first = std::make_unique<Client>(server);
    EXPECT_EQ(first->Get("/a").status, 200);
    Client second(server);
    second.Send("GET /a HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(second.Quiet(200ms));
    EXPECT_EQ(server.Connections(), 1);
    first.reset();
    EXPECT_EQ(second.Read().body, "alpha");
    EXPECT_EQ(server.PeakConnections(), 1);
}

TEST(FarServer, RangesHonourTheValidatorsOfMemoryAndFileBodies) {
    testsupport::TempDir dir;
    dir.write("root/files/a.zip", "0123456789");
    FarServer server(Rooted(dir.file("root")));
    server.Serve("/m", "0123456789");
    Client client(server);
    for (const std::string path : {"/m", "/files/a.zip"}) {
        SCOPED_TRACE(path);
        Reply whole = client.Get(path);
        ASSERT_EQ(whole.body, "0123456789");
        Reply rest = client.Get(path, "Range: bytes=4-\r\n");
        EXPECT_EQ(rest.status, 206);
        EXPECT_EQ(rest.body, "456789");
        EXPECT_EQ(rest.headers["content-range"], "bytes 4-9/10");
        EXPECT_EQ(client.Get(path, "Range: bytes=2-3\r\n").body, "23");
        for (const char* validator : {"etag", "last-modified"}) {
            Reply r = client.Get(
                path, "Range: bytes=8-\r\nIf-Range: " + whole.headers[validator] + "\r\n");
            EXPECT_EQ(r.body, "89") << validator;
        }
        Reply stale = client.Get(path, "Range: bytes=8-\r\nIf-Range: \"other\"\r\n");
        EXPECT_EQ(stale.status, 200);
        EXPECT_EQ(stale.body, "0123456789");
        EXPECT_EQ(client.Get(path, "Range: bytes=10-\r\n").status, 416);
        client.Send("HEAD " + path + " HTTP/1.1\r\n\r\n");
        EXPECT_EQ(client.Read(true).headers["content-length"], "10");
    }
    EXPECT_EQ(client.Get("/m").body, "0123456789");  // no HEAD sent a body before it
    EXPECT_EQ(server.Connections(), 1);
}

TEST(FarServer, FilesStayBelowTheRootAndFaultsAreServedAsAsked) {
    testsupport::TempDir dir;
    dir.write("secret", "outside");
    dir.write("root/files/a.zip", "archive");
    FarServer server(Rooted(dir.file("root")));
    Client client(server);
    EXPECT_EQ(client.Get("/files/a.zip").body, "archive");
    for (const char* escape : {"/../secret", "/files/%2e%2e/%2E%2E/secret",
                               "/files/..%5c..%5csecret", "/files/a.zip%00"}) {
        Reply r = client.Get(escape);
        EXPECT_EQ(r.status, 400) << escape;
        EXPECT_NE(r.body, "outside") << escape;
    }
    EXPECT_EQ(client.Get("/files").status, 404);  // a folder
    EXPECT_EQ(client.Get("/files/b.zip").status, 404);

    server.NotFound("/files/a.zip");
    EXPECT_EQ(client.Get("/files/a.zip").status, 404);
    server.Serve("/cut", "abcdefgh");
    server.CutShort("/cut", 3);
    Reply cut = client.Get("/cut");
    EXPECT_EQ(cut.headers["content-length"], "8");
    EXPECT_EQ(cut.body, "abc");
    EXPECT_FALSE(cut.complete);
    EXPECT_TRUE(client.Closed());
}
