#pragma once

// An HTTP server on 127.0.0.1 with a free port, for tests that fetch over
// the network without leaving the machine. Each path maps to a canned
// response; unknown paths get 404. Faults are part of the response: a delay
// before answering, a body announced in full but cut short (then the
// connection is closed or held open), a body sent one byte at a time,
// redirects and error statuses. A response can be queued for the next
// request only (a connection dropped once, a 503 before the body). Requests
// for "bytes=N-" get 206 with the rest of the body unless ranges are turned
// off, or an If-Range names neither the response's ETag nor its
// Last-Modified header (set in headers). A request whose If-None-Match names
// the ETag header (or, without it, whose If-Modified-Since repeats the
// Last-Modified header) gets 304 unless conditions are turned off. Each connection carries one
// request and is closed after the answer. For headers sent slowly, see DripServer.h.
//
//     testsupport::LoopbackServer server;
//     server.Serve("/ovw2010/packages.dat", "1\r\n...");
//     fetch(server.Url("/ovw2010/packages.dat"));

#include "support/LoopbackSocket.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

struct LoopbackResponse {
    std::string body;
    int status = 200;
    std::string contentType = "application/octet-stream";
    // With a 3xx status: the Location header (a path on this server or a full address).
    std::string location;
    // Waits this long before answering; a long delay makes a server that never answers.
    std::chrono::milliseconds delay{0};
    // When set, the full length is announced but only the body's bytes before
    // this offset are sent (of a range, those of the range before it)...
    std::optional<std::size_t> sendOnly;
    // ...after which the connection is held open (a stall) instead of closed,
    // until DropHeld or Stop.
    bool holdOpenAfterSending = false;
    // When non-zero, the body is this many bytes of PatternByte, produced
    // while sending (large bodies without holding them in memory).
    std::uint64_t generatedSize = 0;
    // When non-zero, the body goes out one byte at a time, this far apart.
    std::chrono::milliseconds dripInterval{0};
    // ...and this many bytes each time.
    std::size_t dripBytes = 1;
    // Extra header lines, such as Content-Encoding or Retry-After.
    std::map<std::string, std::string> headers;
    // With status 200: "Range: bytes=N-" gets 206 and the body from N on, or
    // 416 when N is past its end; false answers 200 with the whole body.
    bool honourRanges = true;
    // With status 200: a request naming the validators in headers gets 304;
    // false answers 200 with the whole body, as a server that ignores them.
    bool honourConditions = true;
};

// The byte at offset i of a generated body.
char PatternByte(std::uint64_t i);

class LoopbackServer {
public:
    // Starts listening at once; throws std::runtime_error when it cannot.
    LoopbackServer();
    ~LoopbackServer();
    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    void Serve(const std::string& path, std::string body);
    void Serve(const std::string& path, LoopbackResponse response);
    void Remove(const std::string& path);
    // Answers the next request for path with response, once; queued responses
    // go out in order before the one given to Serve.
    void ServeOnce(const std::string& path, LoopbackResponse response);

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path = "") const;
    // Requests received for a path so far.
    int RequestCount(const std::string& path) const;
    // The Range header of each request for path so far ("" when it had none).
    std::vector<std::string> RangeHeaders(const std::string& path) const;
    // The If-Range header of each request for path so far ("" when it had none).
    std::vector<std::string> IfRangeHeaders(const std::string& path) const;

    // The If-None-Match header of each request for path so far ("" when it had none).
    std::vector<std::string> IfNoneMatchHeaders(const std::string& path) const;

    // Closes the connections of the answers held open so far.
    void DropHeld();

    // Ends held or delayed answers and stops listening; the destructor calls it.
    void Stop();

    // A port on 127.0.0.1 with nothing listening (a connection is refused).
    static int UnusedPort();

private:
    struct Connection;
    void Accept();
    void Answer(Connection& c);
    bool SendAll(Connection& c, const std::string& bytes);
    bool SendBody(Connection& c, const LoopbackResponse& r, std::uint64_t start,
                  std::uint64_t size);
    std::optional<LoopbackResponse> Pick(const std::string& path, const std::string& range,
                                         const std::string& ifRange);
    static bool RangeStillValid(const LoopbackResponse& r, const std::string& ifRange);
    static bool Unchanged(const LoopbackResponse& r, const std::string& ifNoneMatch,
                          const std::string& ifModifiedSince);
    bool Stopping() const;
    bool Sleep(std::chrono::milliseconds duration);
    void Hold();

    net::Socket listener_ = net::kNoSocket;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable stopWake_;
    bool stopping_ = false;
    int drops_ = 0;  // DropHeld calls so far
    std::list<std::unique_ptr<Connection>> connections_;
    std::map<std::string, LoopbackResponse> responses_;
    std::map<std::string, int> counts_;
    std::map<std::string, std::deque<LoopbackResponse>> once_;
    std::map<std::string, std::vector<std::string>> ranges_;
    std::map<std::string, std::vector<std::string>> ifRanges_;
    std::map<std::string, std::vector<std::string>> ifNoneMatches_;
};

}  // namespace testsupport
