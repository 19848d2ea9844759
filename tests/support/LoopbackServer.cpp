#include "support/LoopbackServer.h"

#include "support/HttpText.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>

namespace testsupport {
namespace {

using http::Lower;
using http::PercentDecoded;
using http::Reason;

constexpr std::size_t kSendSlice = 64 * 1024;
constexpr std::size_t kMaxRequestHead = 64 * 1024;
// How long a server thread waits on a socket before looking at its stop flag.
constexpr int kPollMs = 20;

std::string Slice(const std::string& body, std::uint64_t generated, std::uint64_t offset,
                  std::size_t length) {
    if (generated == 0) return body.substr(static_cast<std::size_t>(offset), length);
    std::string out(length, '\0');
    for (std::size_t i = 0; i < length; ++i) out[i] = PatternByte(offset + i);
    return out;
}

// N of "bytes=N-"; nothing for any other form.
std::optional<std::uint64_t> RangeStart(const std::string& header) {
    const std::string prefix = "bytes=";
    if (header.rfind(prefix, 0) != 0 || header.size() < prefix.size() + 2 || header.back() != '-') {
        return std::nullopt;
    }
    std::string digits = header.substr(prefix.size(), header.size() - prefix.size() - 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos || digits.size() > 18) {
        return std::nullopt;
    }
    return std::stoull(digits);
}

struct Request {
    std::string path;
    std::string range;
    std::string ifRange;
    std::string ifNoneMatch;
    std::string ifModifiedSince;
};

std::string ValueAfterColon(const std::string& header, std::size_t colon) {
    std::size_t value = header.find_first_not_of(' ', colon + 1);
    return value == std::string::npos ? std::string() : header.substr(value);
}

// The path (without its query) and Range header of a request head.
Request Parse(const std::string& head) {
    Request r;
    std::size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    std::size_t first = line.find(' ');
    std::size_t second = line.find(' ', first + 1);
    if (first != std::string::npos) {
        std::string target = line.substr(first + 1, second - first - 1);
        r.path = PercentDecoded(target.substr(0, target.find('?')));
    }
    for (std::size_t at = lineEnd; at != std::string::npos && at + 2 < head.size();) {
        std::size_t next = head.find("\r\n", at + 2);
        std::string header = head.substr(at + 2, next - at - 2);
        std::size_t colon = header.find(':');
        std::string name = colon == std::string::npos ? "" : Lower(header.substr(0, colon));
        if (name == "range") r.range = ValueAfterColon(header, colon);
        if (name == "if-range") r.ifRange = ValueAfterColon(header, colon);
        if (name == "if-none-match") r.ifNoneMatch = ValueAfterColon(header, colon);
        if (name == "if-modified-since") r.ifModifiedSince = ValueAfterColon(header, colon);
        at = next;
    }
    return r;
}

}  // namespace

char PatternByte(std::uint64_t i) { return static_cast<char>((i * 131 + (i >> 12)) & 0xFF); }

struct LoopbackServer::Connection {
    net::Socket socket = net::kNoSocket;
    std::thread thread;
};

LoopbackServer::LoopbackServer() {
    listener_ = net::ListenLoopback(port_);
    if (listener_ == net::kNoSocket)
        throw std::runtime_error("loopback server: cannot bind 127.0.0.1");
    thread_ = std::thread([this] { Accept(); });
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopWake_.notify_all();
    if (thread_.joinable()) thread_.join();
    // Only the accepting thread adds connections, and it has ended.
    for (auto& c : connections_) {
        if (c->thread.joinable()) c->thread.join();
    }
    connections_.clear();
    net::Close(listener_);
    listener_ = net::kNoSocket;
}

bool LoopbackServer::Stopping() const {
    std::lock_guard lock(mutex_);
    return stopping_;
}

void LoopbackServer::Accept() {
    while (!Stopping()) {
        net::Socket s = net::AcceptWithin(listener_, kPollMs);
        if (s == net::kNoSocket) continue;
        auto c = std::make_unique<Connection>();
        c->socket = s;
        Connection* raw = c.get();
        connections_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            Answer(*raw);
            net::Close(raw->socket);
        });
    }
}

void LoopbackServer::Serve(const std::string& path, std::string body) {
    LoopbackResponse r;
    r.body = std::move(body);
    Serve(path, std::move(r));
}

void LoopbackServer::Serve(const std::string& path, LoopbackResponse response) {
    std::lock_guard lock(mutex_);
    responses_[path] = std::move(response);
}

void LoopbackServer::Remove(const std::string& path) {
    std::lock_guard lock(mutex_);
    responses_.erase(path);
}

void LoopbackServer::ServeOnce(const std::string& path, LoopbackResponse response) {
    std::lock_guard lock(mutex_);
    once_[path].push_back(std::move(response));
}

std::string LoopbackServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

int LoopbackServer::RequestCount(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = counts_.find(path);
    return it == counts_.end() ? 0 : it->second;
}

std::vector<std::string> LoopbackServer::RangeHeaders(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = ranges_.find(path);
    return it == ranges_.end() ? std::vector<std::string>{} : it->second;
}

// False when the server stops before the time is up.
bool LoopbackServer::Sleep(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !stopWake_.wait_for(lock, duration, [this] { return stopping_; });
}

std::vector<std::string> LoopbackServer::IfRangeHeaders(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = ifRanges_.find(path);
    return it == ifRanges_.end() ? std::vector<std::string>{} : it->second;
}

std::optional<LoopbackResponse> LoopbackServer::Pick(const std::string& path,
                                                     const std::string& range,
                                                     const std::string& ifRange) {
    std::lock_guard lock(mutex_);
    ++counts_[path];
    ranges_[path].push_back(range);
    ifRanges_[path].push_back(ifRange);
    auto queued = once_.find(path);
    if (queued != once_.end() && !queued->second.empty()) {
        LoopbackResponse r = std::move(queued->second.front());
        queued->second.pop_front();
        return r;
    }
    auto it = responses_.find(path);
    if (it == responses_.end()) return std::nullopt;
    return it->second;
}

void LoopbackServer::Hold() {
    std::unique_lock lock(mutex_);
    int drops = drops_;
    stopWake_.wait(lock, [&] { return stopping_ || drops_ != drops; });
}

void LoopbackServer::DropHeld() {
    {
        std::lock_guard lock(mutex_);
        ++drops_;
    }
    stopWake_.notify_all();
}

bool LoopbackServer::SendAll(Connection& c, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        if (Stopping()) return false;
        if (!net::WaitWritable(c.socket, kPollMs)) continue;
        long n = net::SendSome(c.socket, bytes.data() + sent, bytes.size() - sent);
        if (n < 0) return false;  // the client went away
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

// Sends the body from start, stopping at sendOnly; a body cut short is
// followed by a hold when the response asks for one.
bool LoopbackServer::SendBody(Connection& c, const LoopbackResponse& r, std::uint64_t start,
                              std::uint64_t size) {
    std::uint64_t limit = std::min<std::uint64_t>(r.sendOnly.value_or(size), size);
    bool drip = r.dripInterval.count() > 0;
    std::size_t step = drip ? std::max<std::size_t>(r.dripBytes, 1) : kSendSlice;
    for (std::uint64_t offset = start; offset < limit;) {
        if (drip && offset > start && !Sleep(r.dripInterval)) return false;
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(step, limit - offset));
        if (!SendAll(c, Slice(r.body, r.generatedSize, offset, n))) return false;
        offset += n;
    }
    if (limit < size && r.holdOpenAfterSending) Hold();
    return true;
}

void LoopbackServer::Answer(Connection& c) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
        if (Stopping() || head.size() > kMaxRequestHead) return;
        if (!net::WaitReadable(c.socket, kPollMs)) continue;
        long n = net::Receive(c.socket, buffer, sizeof buffer);
        if (n <= 0) return;
        head.append(buffer, static_cast<std::size_t>(n));
    }
    Request req = Parse(head);
    std::optional<LoopbackResponse> picked = Pick(req.path, req.range, req.ifRange);
    {
        std::lock_guard lock(mutex_);
        ifNoneMatches_[req.path].push_back(req.ifNoneMatch);
    }
    if (!picked) {
        picked = LoopbackResponse{};
        picked->status = 404;
        picked->body = "not found";
        picked->contentType = "text/plain";
    }
    const LoopbackResponse& r = *picked;
    if (r.delay.count() > 0 && !Sleep(r.delay)) return;
    int status = r.status;
    std::string extra;
    if (!r.location.empty()) extra += "Location: " + r.location + "\r\n";
    for (const auto& [name, value] : r.headers) extra += name + ": " + value + "\r\n";
    if (status == 200 && r.honourConditions && Unchanged(r, req.ifNoneMatch, req.ifModifiedSince)) {
        SendAll(c, "HTTP/1.1 304 Not Modified\r\n" + extra + "Connection: close\r\n\r\n");
        return;
    }
    std::uint64_t size = r.generatedSize != 0 ? r.generatedSize : r.body.size();
    std::uint64_t start = 0;
    if (auto from = RangeStart(req.range);
        from && status == 200 && r.honourRanges && RangeStillValid(r, req.ifRange)) {
        if (*from >= size) {
            std::string refused = "HTTP/1.1 416 " + std::string(Reason(416)) +
                                  "\r\nContent-Range: bytes */" + std::to_string(size) +
                                  "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            SendAll(c, refused);
            return;
        }
        start = *from;
        status = 206;
        extra += "Content-Range: bytes " + std::to_string(start) + "-" + std::to_string(size - 1) +
                 "/" + std::to_string(size) + "\r\n";
    }
    std::string response = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" +
                           "Content-Type: " + r.contentType +
                           "\r\nContent-Length: " + std::to_string(size - start) + "\r\n" + extra +
                           "Connection: close\r\n\r\n";
    if (SendAll(c, response)) SendBody(c, r, start, size);
}

// If-Range: the range only while the body has the validator named (its ETag
// or Last-Modified header); the whole body otherwise.
bool LoopbackServer::RangeStillValid(const LoopbackResponse& r, const std::string& ifRange) {
    if (ifRange.empty()) return true;
    for (const auto& [name, value] : r.headers) {
        std::string lower = Lower(name);
        if ((lower == "etag" || lower == "last-modified") && value == ifRange) return true;
    }
    return false;
}

// If-None-Match names the response's ETag or, without it, If-Modified-Since
// repeats its Last-Modified header.
bool LoopbackServer::Unchanged(const LoopbackResponse& r, const std::string& ifNoneMatch,
                               const std::string& ifModifiedSince) {
    for (const auto& [name, value] : r.headers) {
        std::string lower = Lower(name);
        if (!ifNoneMatch.empty()) {
            if (lower == "etag" && value == ifNoneMatch) return true;
        } else if (!ifModifiedSince.empty() && lower == "last-modified" &&
                   value == ifModifiedSince) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> LoopbackServer::IfNoneMatchHeaders(const std::string& path) const {
    std::lock_guard lock(mutex_);
    auto it = ifNoneMatches_.find(path);
    return it == ifNoneMatches_.end() ? std::vector<std::string>{} : it->second;
}

int LoopbackServer::UnusedPort() {
    int port = 0;
    net::Socket s = net::ListenLoopback(port);
    net::Close(s);
    return s == net::kNoSocket ? 0 : port;
}

}  // namespace testsupport
