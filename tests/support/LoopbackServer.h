#pragma once

// An HTTP server on 127.0.0.1 with a free port, for tests that fetch over
// the network without leaving the machine. Each path maps to a canned
// response; unknown paths get 404. Faults are part of the response: a delay
// before answering, a body announced in full but cut short (then the
// connection is closed or held open), a body sent one byte at a time,
// redirects and error statuses. For headers sent slowly, see DripServer.h.
//
//     testsupport::LoopbackServer server;
//     server.Serve("/ovw2010/packages.dat", "1\r\n...");
//     fetch(server.Url("/ovw2010/packages.dat"));

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace httplib {
class Server;
struct Response;
}

namespace testsupport {

struct LoopbackResponse {
    std::string body;
    int status = 200;
    std::string contentType = "application/octet-stream";
    // With a 3xx status: the Location header (a path on this server or a full address).
    std::string location;
    // Waits this long before answering; a long delay makes a server that never answers.
    std::chrono::milliseconds delay{0};
    // When set, the full length is announced but only this many bytes are sent...
    std::optional<std::size_t> sendOnly;
    // ...after which the connection is held open (a stall) instead of closed.
    bool holdOpenAfterSending = false;
    // When non-zero, the body is this many bytes of PatternByte, produced
    // while sending (large bodies without holding them in memory).
    std::uint64_t generatedSize = 0;
    // When non-zero, the body goes out one byte at a time, this far apart.
    std::chrono::milliseconds dripInterval{0};
    // ...and this many bytes each time.
    std::size_t dripBytes = 1;
    // Extra header lines, such as Content-Encoding.
    std::map<std::string, std::string> headers;
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

    int Port() const { return port_; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path = "") const;
    // Requests received for a path so far.
    int RequestCount(const std::string& path) const;

    // Ends held or delayed answers and stops listening; the destructor calls it.
    void Stop();

    // A port on 127.0.0.1 with nothing listening (a connection is refused).
    static int UnusedPort();

private:
    void Handle(const std::string& path, httplib::Response& res);
    bool Sleep(std::chrono::milliseconds duration);

    std::unique_ptr<httplib::Server> server_;
    std::thread thread_;
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable stopWake_;
    bool stopping_ = false;
    std::map<std::string, LoopbackResponse> responses_;
    std::map<std::string, int> counts_;
};

}  // namespace testsupport
