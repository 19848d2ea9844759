#include "support/FarServer.h"

#include "support/HttpText.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace testsupport {
namespace {

using http::Lower;
using http::PercentDecoded;
using http::Reason;

namespace fs = std::filesystem;

// How long a thread waits on a socket before looking at the stop flag.
constexpr int kPollMs = 20;
constexpr std::size_t kMaxRequestHead = 16 * 1024;
constexpr std::size_t kSendSlice = 256 * 1024;
// A connection with no request for this long is closed, as servers do.
constexpr auto kIdleLimit = std::chrono::seconds(30);

std::string Trimmed(const std::string& s) {
    std::size_t first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

// The path below the root that a decoded request path names, or nothing when
// it would leave the root.
std::optional<fs::path> BelowRoot(const std::string& path) {
    if (path.empty() || path[0] != '/') return std::nullopt;
    fs::path out;
    for (std::size_t at = 1; at <= path.size();) {
        std::size_t end = std::min(path.find('/', at), path.size());
        std::string part = path.substr(at, end - at);
        at = end + 1;
        if (part.empty() || part == ".") continue;
        if (part == ".." || part.find_first_of(std::string("\\:\0", 3)) != std::string::npos)
            return std::nullopt;
        out /= part;
    }
    return out;
}

// Start and last byte of "bytes=N-" or "bytes=N-M"; nothing for other forms,
// which get the whole body.
std::optional<std::pair<std::uint64_t, std::uint64_t>> ParseRange(const std::string& header) {
    const std::string prefix = "bytes=";
    if (header.rfind(prefix, 0) != 0) return std::nullopt;
    std::string bounds = header.substr(prefix.size());
    std::size_t dash = bounds.find('-');
    std::string from = bounds.substr(0, dash);
    std::string to = dash == std::string::npos ? "" : bounds.substr(dash + 1);
    auto digits = [](const std::string& s) {
        return !s.empty() && s.size() <= 18 &&
               s.find_first_not_of("0123456789") == std::string::npos;
    };
    if (dash == std::string::npos || !digits(from) || (!to.empty() && !digits(to)))
        return std::nullopt;
    std::uint64_t first = std::stoull(from);
    std::uint64_t last = to.empty() ? UINT64_MAX : std::stoull(to);
    if (last < first) return std::nullopt;
    return std::make_pair(first, last);
}

std::string HttpDate(std::chrono::system_clock::time_point t) {
    using namespace std::chrono;
    static const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    auto secs = floor<seconds>(t);
    auto day = floor<days>(secs);
    year_month_day ymd{day};
    hh_mm_ss hms{secs - day};
    char out[40];
    std::snprintf(out, sizeof out, "%s, %02u %s %04d %02d:%02d:%02d GMT",
                  kDays[weekday{day}.c_encoding()], static_cast<unsigned>(ymd.day()),
                  kMonths[static_cast<unsigned>(ymd.month()) - 1], static_cast<int>(ymd.year()),
                  static_cast<int>(hms.hours().count()), static_cast<int>(hms.minutes().count()),
                  static_cast<int>(hms.seconds().count()));
    return out;
}

std::string Hex(std::uint64_t v) {
    char out[20];
    std::snprintf(out, sizeof out, "%llx", static_cast<unsigned long long>(v));
    return out;
}

std::uint64_t Fnv1a(const std::string& s) {
    std::uint64_t h = 14695981039346656037ull;
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ull;
    return h;
}

std::string StatusLine(int status) {
    return "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n";
}

std::string ConnectionHeader(bool keep) {
    return keep ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
}

// A short text answer for statuses without a body of their own.
std::string StatusOnly(int status, bool keep, const std::string& extra = "") {
    std::string text = Reason(status);
    return StatusLine(status) +
           "Content-Type: text/plain\r\nContent-Length: " + std::to_string(text.size()) + "\r\n" +
           extra + ConnectionHeader(keep) + text;
}

// The request line and the headers the server acts on.
void ParseInto(const std::string& head, std::string& method, std::string& target,
               std::string& version, std::map<std::string, std::string>& headers) {
    std::size_t lineEnd = head.find("\r\n");
    std::string line = head.substr(0, lineEnd);
    std::size_t first = line.find(' ');
    std::size_t second = first == std::string::npos ? first : line.find(' ', first + 1);
    if (second == std::string::npos) return;
    method = line.substr(0, first);
    target = line.substr(first + 1, second - first - 1);
    version = line.substr(second + 1);
    for (std::size_t at = lineEnd; at + 2 < head.size();) {
        std::size_t next = head.find("\r\n", at + 2);
        std::string header = head.substr(at + 2, next - at - 2);
        std::size_t colon = header.find(':');
        if (colon != std::string::npos)
            headers[Lower(Trimmed(header.substr(0, colon)))] = Trimmed(header.substr(colon + 1));
        at = next;
    }
}

}  // namespace

struct FarServer::Connection {
    net::Socket socket = net::kNoSocket;
    std::thread thread;
    std::atomic<bool> done{false};
};

struct FarServer::Request {
    std::string method;
    std::string path;  // decoded, without the query
    std::string range;
    std::string ifRange;
    bool keepAlive = true;
    bool valid = false;  // a request line, and no body (none is read)
};

struct FarServer::Body {
    std::shared_ptr<const std::string> memory;  // or, when null, file
    fs::path file;
    std::uint64_t size = 0;
    std::string etag;
    std::string lastModified;
    std::optional<std::uint64_t> cut;
};

FarServer::FarServer(FarServerOptions options) : options_(std::move(options)) {
    listener_ = net::ListenLoopback(port_);
    if (listener_ == net::kNoSocket)
        throw std::runtime_error("far server: cannot listen on 127.0.0.1");
    closeAll_ = options_.closeAfterEachResponse;
    bornAt_ = HttpDate(std::chrono::system_clock::now());
    thread_ = std::thread([this] { Accept(); });
}

FarServer::~FarServer() { Stop(); }

void FarServer::Stop() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    // The accepting thread has ended, so the list is ours now.
    for (auto& c : threads_) c->thread.join();
    threads_.clear();
    net::Close(listener_);
    listener_ = net::kNoSocket;
}

void FarServer::Serve(const std::string& path, std::string body) {
    std::lock_guard lock(mutex_);
    bodies_[path] = std::make_shared<const std::string>(std::move(body));
}

void FarServer::NotFound(const std::string& path) {
    std::lock_guard lock(mutex_);
    missing_.insert(path);
}

void FarServer::CutShort(const std::string& path, std::uint64_t bytes) {
    std::lock_guard lock(mutex_);
    cuts_[path] = bytes;
}

std::string FarServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

// False when the server stops before the time is up.
bool FarServer::Sleep(std::chrono::milliseconds duration) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, duration, [this] { return stopping_.load(); });
}

void FarServer::Accept() {
    while (!Stopping()) {
        Reap();
        if (open_ >= options_.maxConnections) {
            Sleep(std::chrono::milliseconds(kPollMs));
            continue;
        }
        net::Socket s = net::AcceptWithin(listener_, kPollMs);
        if (s == net::kNoSocket) continue;
        net::SendPromptly(s);  // as web servers do on persistent connections
        ++connections_;
        peak_ = std::max(peak_.load(), ++open_);  // only this thread opens connections
        auto c = std::make_unique<Connection>();
        c->socket = s;
        Connection* raw = c.get();
        threads_.push_back(std::move(c));
        raw->thread = std::thread([this, raw] {
            Converse(*raw);
            net::Close(raw->socket);
            --open_;
            raw->done = true;
        });
    }
}

// Joins the threads of connections that have ended.
void FarServer::Reap() {
    for (auto it = threads_.begin(); it != threads_.end();) {
        if ((*it)->done) {
            (*it)->thread.join();
            it = threads_.erase(it);
        } else {
            ++it;
        }
    }
}

// Reads the request line and headers; bytes after them stay in pending (a
// pipelined request). Nothing when the connection ends, idles out or the head
// is too long (then it is answered with 431).
std::optional<std::string> FarServer::ReadHead(Connection& c, std::string& pending) {
    char buffer[4096];
    auto idleSince = std::chrono::steady_clock::now();
    for (;;) {
        std::size_t end = pending.find("\r\n\r\n");
        if (end != std::string::npos) {
            std::string head = pending.substr(0, end + 2);
            pending.erase(0, end + 4);
            return head;
        }
        if (pending.size() > kMaxRequestHead) {
            std::string answer = StatusOnly(431, false);
            SendAll(c, answer.data(), answer.size());
            return std::nullopt;
        }
        if (Stopping() || std::chrono::steady_clock::now() - idleSince > kIdleLimit)
            return std::nullopt;
        if (!net::WaitReadable(c.socket, kPollMs)) continue;
        long n = net::Receive(c.socket, buffer, sizeof buffer);
        if (n <= 0) return std::nullopt;
        pending.append(buffer, static_cast<std::size_t>(n));
    }
}

void FarServer::Converse(Connection& c) {
    if (!Sleep(options_.connectDelay)) return;
    std::string pending;
    for (;;) {
        std::optional<std::string> head = ReadHead(c, pending);
        if (!head) return;
        ++requests_;
        Request req = Parse(*head);
        if (!Sleep(options_.responseDelay)) return;
        if (!Respond(c, req) || closeAll_) return;
    }
}

FarServer::Request FarServer::Parse(const std::string& head) {
    std::string method, target, version;
    std::map<std::string, std::string> headers;
    ParseInto(head, method, target, version, headers);
    Request req;
    req.method = method;
    req.path = PercentDecoded(target.substr(0, target.find('?')));
    req.range = headers["range"];
    req.ifRange = headers["if-range"];
    std::string connection = Lower(headers["connection"]);
    bool http10 = version == "HTTP/1.0";
    req.keepAlive = http10 ? connection.find("keep-alive") != std::string::npos
                           : connection.find("close") == std::string::npos;
    std::string length = headers["content-length"];
    req.valid = !method.empty() && (version == "HTTP/1.1" || http10) &&
                (length.empty() || length == "0") && headers["transfer-encoding"].empty();
    return req;
}

std::optional<FarServer::Body> FarServer::Find(const std::string& path) {
    Body body;
    {
        std::lock_guard lock(mutex_);
        if (missing_.count(path)) return std::nullopt;
        if (auto cut = cuts_.find(path); cut != cuts_.end()) body.cut = cut->second;
        if (auto it = bodies_.find(path); it != bodies_.end()) {
            body.memory = it->second;
            body.size = body.memory->size();
            body.etag = "\"" + Hex(Fnv1a(*body.memory)) + "\"";
            body.lastModified = bornAt_;
            return body;
        }
    }
    std::optional<fs::path> below = BelowRoot(path);
    if (options_.root.empty() || !below) return std::nullopt;
    std::error_code error;
    body.file = options_.root / *below;
    if (!fs::is_regular_file(body.file, error)) return std::nullopt;
    body.size = fs::file_size(body.file, error);
    auto written = fs::last_write_time(body.file, error);
    if (error) return std::nullopt;
    auto modified = std::chrono::file_clock::to_sys(written);
    body.etag = "\"" + Hex(body.size) + "-" +
                Hex(static_cast<std::uint64_t>(modified.time_since_epoch().count())) + "\"";
    body.lastModified = HttpDate(std::chrono::time_point_cast<std::chrono::seconds>(modified));
    return body;
}

// Answers one request; false when the connection is to close after it.
bool FarServer::Respond(Connection& c, const Request& req) {
    auto send = [&](const std::string& bytes) { return SendAll(c, bytes.data(), bytes.size()); };
    if (!req.valid) {
        send(StatusOnly(400, false));
        return false;
    }
    if (req.method != "GET" && req.method != "HEAD") {
        send(StatusOnly(501, false));
        return false;
    }
    bool keep = req.keepAlive && !closeAll_;
    if (!BelowRoot(req.path)) return send(StatusOnly(400, keep)) && keep;
    std::optional<Body> body = Find(req.path);
    if (!body) return send(StatusOnly(404, keep)) && keep;

    int status = 200;
    std::uint64_t start = 0;
    std::uint64_t length = body->size;
    std::string extra;
    auto range = ParseRange(req.range);
    if (range &&
        (req.ifRange.empty() || req.ifRange == body->etag || req.ifRange == body->lastModified)) {
        if (range->first >= body->size) {
            return send(StatusOnly(
                       416, keep,
                       "Content-Range: bytes */" + std::to_string(body->size) + "\r\n")) &&
                   keep;
        }
        status = 206;
        start = range->first;
        length = std::min(range->second, body->size - 1) - start + 1;
        extra = "Content-Range: bytes " + std::to_string(start) + "-" +
                std::to_string(start + length - 1) + "/" + std::to_string(body->size) + "\r\n";
    }
    bool cut = body->cut && *body->cut < length && req.method == "GET";
    keep = keep && !cut;
    std::string head =
        StatusLine(status) +
        "Content-Type: application/octet-stream\r\nContent-Length: " + std::to_string(length) +
        "\r\nAccept-Ranges: bytes\r\nETag: " + body->etag +
        "\r\nLast-Modified: " + body->lastModified + "\r\n" + extra + ConnectionHeader(keep);
    if (req.method == "HEAD") return send(head) && keep;
    return SendBody(c, head, *body, start, cut ? *body->cut : length) && keep;
}

// Sends head and then length bytes of the body from start; the head goes out
// with the first slice, so that a small answer is one write.
bool FarServer::SendBody(Connection& c, const std::string& head, const Body& body,
                         std::uint64_t start, std::uint64_t length) {
    std::ifstream in;
    if (!body.memory) {
        in.open(body.file, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(start));
    }
    std::string buffer = head;
    for (std::uint64_t offset = start, end = start + length;;) {
        std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kSendSlice, end - offset));
        std::size_t at = buffer.size();
        buffer.resize(at + n);
        if (body.memory) {
            body.memory->copy(buffer.data() + at, n, static_cast<std::size_t>(offset));
        } else if (n > 0 && !in.read(buffer.data() + at, static_cast<std::streamsize>(n))) {
            return false;  // the file shrank while it was sent
        }
        if (!SendAll(c, buffer.data(), buffer.size())) return false;
        offset += n;
        if (offset == end) return true;
        buffer.clear();
    }
}

// False when the client went away or the server is stopping.
bool FarServer::SendAll(Connection& c, const char* data, std::size_t size) {
    while (size > 0) {
        if (Stopping()) return false;
        if (!net::WaitWritable(c.socket, kPollMs)) continue;
        long n = net::SendSome(c.socket, data, size);
        if (n < 0) return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace testsupport
