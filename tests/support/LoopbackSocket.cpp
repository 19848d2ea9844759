#include "support/LoopbackSocket.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <climits>
#include <mutex>

namespace testsupport::net {
namespace {

#ifdef _WIN32
using Length = int;
constexpr int kSendFlags = 0;
int PollOne(Socket s, short events, int ms) {
    WSAPOLLFD p{static_cast<SOCKET>(s), events, 0};
    return ::WSAPoll(&p, 1, ms);
}
bool WouldBlock() { return ::WSAGetLastError() == WSAEWOULDBLOCK; }
void NonBlocking(Socket s) {
    u_long on = 1;
    ::ioctlsocket(s, FIONBIO, &on);
}
void Started() {
    static std::once_flag once;
    std::call_once(once, [] {
        WSADATA data;
        ::WSAStartup(MAKEWORD(2, 2), &data);
    });
}
#else
using Length = socklen_t;
constexpr int kSendFlags = MSG_NOSIGNAL;  // a client gone is an error, not a signal
int PollOne(Socket s, short events, int ms) {
    pollfd p{s, events, 0};
    return ::poll(&p, 1, ms);
}
bool WouldBlock() { return errno == EAGAIN || errno == EWOULDBLOCK; }
void NonBlocking(Socket s) { ::fcntl(s, F_SETFL, ::fcntl(s, F_GETFL) | O_NONBLOCK); }
void Started() {}
#endif

sockaddr_in Loopback(int port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    return addr;
}

int Chunk(std::size_t size) { return static_cast<int>(std::min<std::size_t>(size, INT_MAX)); }

}  // namespace

Socket ListenLoopback(int& port) {
    Started();
    Socket s = static_cast<Socket>(::socket(AF_INET, SOCK_STREAM, 0));
    if (s == kNoSocket) return kNoSocket;
    sockaddr_in addr = Loopback(0);
    Length len = sizeof addr;
    if (::bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 16) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        Close(s);
        return kNoSocket;
    }
    port = ntohs(addr.sin_port);
    return s;
}

Socket AcceptWithin(Socket listener, int ms) {
    if (!WaitReadable(listener, ms)) return kNoSocket;
    Socket s = static_cast<Socket>(::accept(listener, nullptr, nullptr));
    if (s != kNoSocket) NonBlocking(s);
    return s;
}

bool WaitReadable(Socket s, int ms) { return PollOne(s, POLLIN, ms) > 0; }

bool WaitWritable(Socket s, int ms) { return PollOne(s, POLLOUT, ms) > 0; }

long Receive(Socket s, char* buffer, std::size_t size) {
    return static_cast<long>(::recv(s, buffer, Chunk(size), 0));
}

long SendSome(Socket s, const char* data, std::size_t size) {
    long sent = static_cast<long>(::send(s, data, Chunk(size), kSendFlags));
    return sent < 0 && WouldBlock() ? 0 : sent;
}

void Close(Socket s) {
    if (s == kNoSocket) return;
#ifdef _WIN32
    ::closesocket(s);
#else
    ::close(s);
#endif
}

void SendPromptly(Socket s) {
    int on = 1;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
}

Socket ConnectLoopback(int port) {
    Started();
    Socket s = static_cast<Socket>(::socket(AF_INET, SOCK_STREAM, 0));
    if (s == kNoSocket) return kNoSocket;
    sockaddr_in addr = Loopback(port);
    if (::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        Close(s);
        return kNoSocket;
    }
    NonBlocking(s);
    return s;
}

bool Accepts(int port) {
    Started();
    Socket s = static_cast<Socket>(::socket(AF_INET, SOCK_STREAM, 0));
    if (s == kNoSocket) return false;
    sockaddr_in addr = Loopback(port);
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    Close(s);
    return ok;
}

}  // namespace testsupport::net
