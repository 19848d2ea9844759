#pragma once

// An HTTP/1.1 server on 127.0.0.1 with a free port that behaves like one far
// away: a new connection waits connectDelay before its first byte is read
// (the round trips of a distant handshake) and every response waits
// responseDelay. Connections persist: many requests per connection, closed
// on "Connection: close", after an HTTP/1.0 request without keep-alive, or
// after every response when closeAfterEachResponse is on. The counts of
// connections accepted and requests answered show whether a client reuses
// its connections.
//
// Bodies come from memory (Serve) or from files below root; a path that
// leaves root ("..", a backslash, a drive) is refused with 400. GET and HEAD
// only; "Range: bytes=N-" and "bytes=N-M" get 206 (416 past the end) unless
// an If-Range names neither the body's ETag nor its Last-Modified. Faults:
// NotFound answers 404 for a path that exists, CutShort announces the whole
// length but sends only the first bytes of the body and then closes.
//
// One thread per connection, at most maxConnections at once (more wait in
// the listen queue); each reads and sends through bounded buffers, and all
// end within a poll interval of Stop.
//
//     testsupport::FarServerOptions far;
//     far.connectDelay = 100ms;
//     far.responseDelay = 50ms;
//     testsupport::FarServer server(far);
//     server.Serve("/ovw2010/packages.dat", "1\r\n...");
//     fetch(server.Url("/ovw2010/packages.dat"));
//     EXPECT_EQ(server.Connections(), 1);

#include "support/LoopbackSocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

namespace testsupport {

struct FarServerOptions {
    // Files are served from here; empty serves only the bodies given to Serve.
    std::filesystem::path root;
    std::chrono::milliseconds connectDelay{0};
    std::chrono::milliseconds responseDelay{0};
    int maxConnections = 32;
    bool closeAfterEachResponse = false;
};

class FarServer {
public:
    // Starts listening at once; throws std::runtime_error when it cannot.
    explicit FarServer(FarServerOptions options = {});
    ~FarServer();
    FarServer(const FarServer&) = delete;
    FarServer& operator=(const FarServer&) = delete;

    // A body held in memory; it takes precedence over a file of the same path.
    void Serve(const std::string& path, std::string body);
    void NotFound(const std::string& path);
    // Sends only the first bytes of path's body (of a range, of the range), then closes.
    void CutShort(const std::string& path, std::uint64_t bytes);
    void SetCloseAfterEachResponse(bool on) { closeAll_ = on; }

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path = "") const;
    // Connections accepted, requests answered and the most connections open
    // at once, so far.
    int Connections() const { return connections_; }
    int Requests() const { return requests_; }
    int PeakConnections() const { return peak_; }

    // Ends every connection and stops listening; the destructor calls it.
    void Stop();

private:
    struct Connection;
    struct Request;
    struct Body;
    void Accept();
    void Reap();
    void Converse(Connection& c);
    std::optional<std::string> ReadHead(Connection& c, std::string& pending);
    static Request Parse(const std::string& head);
    bool Respond(Connection& c, const Request& req);
    std::optional<Body> Find(const std::string& path);
    bool SendAll(Connection& c, const char* data, std::size_t size);
    bool SendBody(Connection& c, const std::string& head, const Body& body, std::uint64_t start,
                  std::uint64_t length);
    bool Sleep(std::chrono::milliseconds duration);
    bool Stopping() const { return stopping_; }

    FarServerOptions options_;
    net::Socket listener_ = net::kNoSocket;
    int port_ = 0;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
    std::atomic<bool> closeAll_{false};
    std::atomic<int> connections_{0};
    std::atomic<int> requests_{0};
    std::atomic<int> open_{0};
    std::atomic<int> peak_{0};
    std::string bornAt_;  // the Last-Modified of bodies held in memory
    std::mutex mutex_;    // guards the maps below and wakes sleepers on Stop
    std::condition_variable wake_;
    std::map<std::string, std::shared_ptr<const std::string>> bodies_;
    std::set<std::string> missing_;
    std::map<std::string, std::uint64_t> cuts_;
    std::list<std::unique_ptr<Connection>> threads_;  // the accepting thread's only
};

}  // namespace testsupport
