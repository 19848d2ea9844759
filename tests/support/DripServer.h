#pragma once

// A raw TCP server on 127.0.0.1 that answers every connection with one
// canned byte string, written slowly: the first `burst` bytes at once, then
// one byte per interval. It is for replies a normal HTTP server cannot
// produce, such as headers that trickle in. Connections are served one
// after another; each ends when its bytes are out, the client goes away or
// the server is destroyed, so the server stops by itself.
//
//     testsupport::DripServer server("HTTP/1.1 200 OK\r\n...", 100ms);
//     fetch(server.Url("/x"));

#include "support/LoopbackSocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>

namespace testsupport {

class DripServer {
public:
    // Starts listening at once; throws std::runtime_error when it cannot.
    DripServer(std::string reply, std::chrono::milliseconds interval, std::size_t burst = 0);
    ~DripServer();
    DripServer(const DripServer&) = delete;
    DripServer& operator=(const DripServer&) = delete;

    // "http://127.0.0.1:<port>" followed by path.
    std::string Url(const std::string& path = "/") const;
    int Connections() const { return connections_; }

private:
    void Run();
    void Answer(net::Socket client);
    bool Send(net::Socket client, const char* data, std::size_t size);
    bool Pause(std::chrono::milliseconds duration);

    std::string reply_;
    std::chrono::milliseconds interval_;
    std::size_t burst_;
    net::Socket listener_ = net::kNoSocket;
    int port_ = 0;
    std::atomic<int> connections_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

}  // namespace testsupport
