#include "support/DripServer.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace testsupport {
namespace {

constexpr int kAcceptPollMs = 20;

// Reads what the client has sent so far (the request), without waiting long.
void DrainRequest(net::Socket client) {
    char buffer[4096];
    while (net::WaitReadable(client, kAcceptPollMs) &&
           net::Receive(client, buffer, sizeof buffer) > 0) {
    }
}

}  // namespace

DripServer::DripServer(std::string reply, std::chrono::milliseconds interval, std::size_t burst)
    : reply_(std::move(reply)), interval_(interval), burst_(burst) {
    listener_ = net::ListenLoopback(port_);
    if (listener_ == net::kNoSocket)
        throw std::runtime_error("drip server: cannot listen on 127.0.0.1");
    thread_ = std::thread([this] { Run(); });
}

DripServer::~DripServer() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    thread_.join();
    net::Close(listener_);
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
        net::Socket client = net::AcceptWithin(listener_, kAcceptPollMs);
        if (client == net::kNoSocket) continue;
        ++connections_;
        Answer(client);
        net::Close(client);
    }
}

// False when the client left or the server is being destroyed.
bool DripServer::Send(net::Socket client, const char* data, std::size_t size) {
    while (size > 0) {
        if (!Pause(std::chrono::milliseconds(0))) return false;
        if (!net::WaitWritable(client, kAcceptPollMs)) continue;
        long n = net::SendSome(client, data, size);
        if (n < 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void DripServer::Answer(net::Socket client) {
    DrainRequest(client);
    std::size_t sent = std::min(burst_, reply_.size());
    if (!Send(client, reply_.data(), sent)) return;
    for (; sent < reply_.size(); ++sent) {
        if (sent > 0 && !Pause(interval_)) return;
        if (!Send(client, reply_.data() + sent, 1)) return;
    }
}

}  // namespace testsupport
