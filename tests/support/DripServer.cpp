#include "support/DripServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace testsupport {
namespace {

constexpr int kAcceptPollMs = 20;

int Listen(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(addr.sin_port);
    return fd;
}

// Reads what the client has sent so far (the request), without waiting long.
void DrainRequest(int client) {
    char buffer[4096];
    pollfd p{client, POLLIN, 0};
    while (::poll(&p, 1, kAcceptPollMs) > 0 && ::recv(client, buffer, sizeof buffer, 0) > 0) {
    }
}

}  // namespace

DripServer::DripServer(std::string reply, std::chrono::milliseconds interval, std::size_t burst)
    : reply_(std::move(reply)), interval_(interval), burst_(burst) {
    listener_ = Listen(port_);
    if (listener_ < 0) throw std::runtime_error("drip server: cannot listen on 127.0.0.1");
    thread_ = std::thread([this] { Run(); });
}

DripServer::~DripServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    ::close(listener_);
}

std::string DripServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

// False when the server is being destroyed.
bool DripServer::Pause(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, duration, [this] { return stopping_; });
}

void DripServer::Run() {
    while (Pause(std::chrono::milliseconds(0))) {
        pollfd p{listener_, POLLIN, 0};
        if (::poll(&p, 1, kAcceptPollMs) <= 0) continue;
        int client = ::accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        ++connections_;
        Answer(client);
        ::close(client);
    }
}

void DripServer::Answer(int client) {
    DrainRequest(client);
    std::size_t sent = std::min(burst_, reply_.size());
    if (sent > 0 && ::send(client, reply_.data(), sent, MSG_NOSIGNAL) != static_cast<ssize_t>(sent)) return;
    for (; sent < reply_.size(); ++sent) {
        if (sent > 0 && !Pause(interval_)) return;
        if (::send(client, reply_.data() + sent, 1, MSG_NOSIGNAL) != 1) return;  // the client left
    }
}

}  // namespace testsupport
