#pragma once

// A real web server process on loopback, serving a folder for the object's
// life; for tests of the built program. nginx (which answers range requests)
// when it is installed, else python3 -m http.server.

#include "support/ChildProcess.h"
#include "support/LoopbackServer.h"
#include "support/LoopbackSocket.h"
#include "support/TempDir.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

using net::Accepts;

constexpr const char* kNginx = "/usr/sbin/nginx";

// A configuration for one nginx process in the foreground, with every file
// it writes below logs.
inline std::vector<std::string> NginxCommand(int port, const std::string& root,
                                             const TempDir& logs) {
    const std::string prefix = logs.file("nginx");
    std::filesystem::create_directories(prefix);
    std::ofstream conf(prefix + "/nginx.conf");
    auto quoted = [](const std::string& path) { return "\"" + path + "\""; };
    conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
         << "pid " << quoted(prefix + "/nginx.pid") << ";\n"
         << "error_log " << quoted(prefix + "/error.log") << ";\n"
         << "events { worker_connections 64; }\nhttp {\n"
         << "    access_log " << quoted(prefix + "/access.log") << ";\n";
    for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        conf << "    " << temp << "_temp_path " << quoted(prefix + "/" + temp) << ";\n";
    }
    // As the README's server: precompressed catalogue, validators, long keep-alive.
    conf << "    gzip_static on;\n    etag on;\n    keepalive_timeout 65s;\n"
         << "    keepalive_requests 10000;\n"
         << "    default_type application/octet-stream;\n"
         << "    server { listen 127.0.0.1:" << port << "; root " << quoted(root) << "; }\n}\n";
    return {kNginx, "-p", prefix, "-c", prefix + "/nginx.conf", "-e", prefix + "/error.log"};
}

inline std::vector<std::string> ServerCommand(int port, const std::string& root,
                                              const TempDir& logs) {
    if (std::filesystem::exists(kNginx)) return NginxCommand(port, root, logs);
    return {"/usr/bin/env", "python3",   "-m",          "http.server", std::to_string(port),
            "--bind",       "127.0.0.1", "--directory", root};
}

// Bound to 127.0.0.1; its output goes to files in logs.
class HttpServerProcess {
public:
    HttpServerProcess(const std::string& root, const TempDir& logs)
        : port_(LoopbackServer::UnusedPort()) {
        std::vector<std::string> command = ServerCommand(port_, root, logs);
        process_ = std::make_unique<ChildProcess>(
            command.front(), std::vector<std::string>(command.begin() + 1, command.end()),
            logs.file("server.out"), logs.file("server.err"));
        for (int i = 0; i < 200 && !Accepts(port_); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    bool Ready() const { return Accepts(port_); }

private:
    int port_;
    std::unique_ptr<ChildProcess> process_;
};

}  // namespace testsupport
