// The far server of the tests as a program, for the benchmark scripts: it
// serves a folder on 127.0.0.1 with the delays of a distant server and, when
// it stops, prints how many connections and requests it saw.
//
//   far_server --root <dir> [--connect-delay-ms 100] [--response-delay-ms 50]
//              [--port-file <file>] [--max-connections 32] [--close-after-each-response]
//
// The port goes to standard error and, when asked, to the port file (written
// whole, then renamed into place, so a script that waits for the file reads a
// complete number). It stops on SIGTERM, SIGINT or SIGHUP, or at the end of
// standard input when that is a pipe or a terminal (a background job's
// /dev/null does not stop it), and then prints to standard output:
//
//   connections <n> requests <n> peak <n>

#include "support/FarServer.h"

#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: far_server --root <dir> [--connect-delay-ms N] [--response-delay-ms N]\n"
                 "                  [--port-file F] [--max-connections N] "
                 "[--close-after-each-response]\n");
    return 2;
}

bool Number(const char* text, int& out) {
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || v < 0 || v > 1000000) return false;
    out = static_cast<int>(v);
    return true;
}

bool WritePortFile(const std::string& path, int port) {
    std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << port << '\n';
        if (!out.flush()) return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

bool StdinEnds() {
    struct stat st {};
    return ::fstat(STDIN_FILENO, &st) == 0 && (S_ISFIFO(st.st_mode) || ::isatty(STDIN_FILENO));
}

// Waits for a stop signal, or for the end of standard input when watched.
void WaitForStop(const sigset_t& signals, bool watchStdin) {
    for (;;) {
        timespec tick{0, 100 * 1000 * 1000};
        if (::sigtimedwait(&signals, nullptr, &tick) > 0) return;
        if (!watchStdin) continue;
        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, 0) <= 0) continue;
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) return;
    }
}

}  // namespace

int main(int argc, char** argv) {
    testsupport::FarServerOptions options;
    std::string portFile;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        int value = 0;
        if (arg == "--root" && hasValue) {
            options.root = argv[++i];
        } else if (arg == "--port-file" && hasValue) {
            portFile = argv[++i];
        } else if (arg == "--connect-delay-ms" && hasValue && Number(argv[++i], value)) {
            options.connectDelay = std::chrono::milliseconds(value);
        } else if (arg == "--response-delay-ms" && hasValue && Number(argv[++i], value)) {
            options.responseDelay = std::chrono::milliseconds(value);
        } else if (arg == "--max-connections" && hasValue && Number(argv[++i], value) &&
                   value > 0) {
            options.maxConnections = value;
        } else if (arg == "--close-after-each-response") {
            options.closeAfterEachResponse = true;
        } else {
            return Usage();
        }
    }
    if (options.root.empty()) return Usage();
    std::error_code error;
    if (!std::filesystem::is_directory(options.root, error)) {
        std::fprintf(stderr, "far_server: %s is not a folder\n", options.root.string().c_str());
        return 1;
    }

    // Blocked before the server starts, so that its threads inherit the mask
    // and only sigtimedwait sees these signals.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGTERM, SIGINT, SIGHUP}) sigaddset(&signals, s);
    ::pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    std::unique_ptr<testsupport::FarServer> started;
    try {
        started = std::make_unique<testsupport::FarServer>(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "far_server: %s\n", e.what());
        return 1;
    }
    testsupport::FarServer& server = *started;
    std::fprintf(stderr, "far_server: listening on 127.0.0.1:%d\n", server.Port());
    if (!portFile.empty() && !WritePortFile(portFile, server.Port())) {
        std::fprintf(stderr, "far_server: cannot write %s\n", portFile.c_str());
        return 1;
    }
    WaitForStop(signals, StdinEnds());
    server.Stop();
    std::printf("connections %d requests %d peak %d\n", server.Connections(), server.Requests(),
                server.PeakConnections());
    return 0;
}
