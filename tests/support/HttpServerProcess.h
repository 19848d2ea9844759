#pragma once

// python3 -m http.server as a real server process on loopback, serving a
// folder for the object's life; for tests of the built program.

#include "support/ChildProcess.h"
#include "support/LoopbackServer.h"
#include "support/TempDir.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>
#include <string>
#include <thread>

namespace testsupport {

inline bool Accepts(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

// Bound to 127.0.0.1; its output goes to files in logs.
class HttpServerProcess {
public:
    HttpServerProcess(const std::string& root, const TempDir& logs)
        : port_(LoopbackServer::UnusedPort()),
          process_("/usr/bin/env",
                   {"python3", "-m", "http.server", std::to_string(port_), "--bind", "127.0.0.1",
                    "--directory", root},
                   logs.file("server.out"), logs.file("server.err")) {
        for (int i = 0; i < 200 && !Accepts(port_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    bool Ready() const { return Accepts(port_); }

private:
    int port_;
    ChildProcess process_;
};

}  // namespace testsupport
