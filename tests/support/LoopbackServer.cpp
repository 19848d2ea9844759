#include "support/LoopbackServer.h"

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <stdexcept>

namespace testsupport {
namespace {

constexpr std::size_t kSendSlice = 64 * 1024;

std::string Slice(const std::string& body, std::uint64_t generated, std::size_t offset,
                  std::size_t length) {
    if (generated == 0) return body.substr(offset, length);
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

}  // namespace

char PatternByte(std::uint64_t i) {
    return static_cast<char>((i * 131 + (i >> 12)) & 0xFF);
}

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {
    server_->set_keep_alive_timeout(1);
    server_->Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
        Handle(req, res);
    });
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) throw std::runtime_error("loopback server: cannot bind 127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 5000 && !server_->is_running(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (!server_->is_running()) {
        Stop();
        throw std::runtime_error("loopback server: did not start");
    }
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    stopWake_.notify_all();
    server_->stop();
    if (thread_.joinable()) thread_.join();
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

std::optional<LoopbackResponse> LoopbackServer::Pick(const std::string& path,
                                                     const std::string& range) {
    std::lock_guard lock(mutex_);
    ++counts_[path];
    ranges_[path].push_back(range);
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

void LoopbackServer::Handle(const httplib::Request& req, httplib::Response& res) {
    std::string range = req.get_header_value("Range");
    // Ranges are answered below as the response asks; httplib would apply
    // them to any status. The request object itself is not const.
    const_cast<httplib::Request&>(req).ranges.clear();
    std::optional<LoopbackResponse> picked = Pick(req.path, range);
    if (!picked) {
        res.status = 404;
        res.set_content("not found", "text/plain");
        return;
    }
    LoopbackResponse r = std::move(*picked);
    if (r.delay.count() > 0 && !Sleep(r.delay)) {
        res.status = 503;
        return;
    }
    res.status = r.status;
    if (!r.location.empty()) res.set_header("Location", r.location);
    for (const auto& [name, value] : r.headers) res.set_header(name.c_str(), value);
    std::uint64_t size = r.generatedSize != 0 ? r.generatedSize : r.body.size();
    std::uint64_t start = 0;
    if (auto from = RangeStart(range); from && r.status == 200 && r.honourRanges) {
        if (*from >= size) {
            res.status = 416;
            res.set_header("Content-Range", "bytes */" + std::to_string(size));
            return;
        }
        start = *from;
        res.status = 206;
        res.set_header("Content-Range", "bytes " + std::to_string(start) + "-" +
                                            std::to_string(size - 1) + "/" + std::to_string(size));
    }
    if (start == 0 && !r.sendOnly && r.generatedSize == 0 && r.dripInterval.count() == 0) {
        res.set_content(r.body, r.contentType);
        return;
    }
    std::size_t limit = static_cast<std::size_t>(std::min<std::uint64_t>(r.sendOnly.value_or(size), size));
    auto body = std::make_shared<std::string>(std::move(r.body));
    std::uint64_t generated = r.generatedSize;
    bool hold = r.holdOpenAfterSending;
    auto drip = r.dripInterval;
    std::size_t dripBytes = std::max<std::size_t>(r.dripBytes, 1);
    res.set_content_provider(
        static_cast<std::size_t>(size - start), r.contentType,
        [this, body, generated, start, limit, hold, drip, dripBytes](
            std::size_t sent, std::size_t length, httplib::DataSink& sink) {
            std::size_t offset = static_cast<std::size_t>(start) + sent;
            if (offset >= limit) {
                if (hold) Hold();
                return false;  // closes the connection short of the announced length
            }
            if (drip.count() > 0 && sent > 0 && !Sleep(drip)) return false;
            std::size_t n =
                std::min({length, limit - offset, drip.count() > 0 ? dripBytes : kSendSlice});
            std::string chunk = Slice(*body, generated, offset, n);
            return sink.write(chunk.data(), chunk.size());
        });
}

int LoopbackServer::UnusedPort() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return 0;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    socklen_t len = sizeof addr;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
        port = ntohs(addr.sin_port);
    }
    ::close(fd);
    return port;
}

}  // namespace testsupport
