#pragma once

// The few socket calls the loopback test servers need, the same on Windows
// (Winsock) and elsewhere (POSIX). Every wait is bounded so that a server
// thread can look at its stop flag between waits.

#include <cstddef>
#include <cstdint>

namespace testsupport::net {

#ifdef _WIN32
using Socket = std::uintptr_t;  // SOCKET
#else
using Socket = int;
#endif
constexpr Socket kNoSocket = static_cast<Socket>(-1);

// A listening socket on 127.0.0.1 with a free port (written to port), or kNoSocket.
Socket ListenLoopback(int& port);
// A connection accepted within ms milliseconds, or kNoSocket. It does not
// block: sends take what fits.
Socket AcceptWithin(Socket listener, int ms);
// True when s has data (or its end) to read, or room to write, within ms.
bool WaitReadable(Socket s, int ms);
bool WaitWritable(Socket s, int ms);
// Bytes read; zero or less when the connection ended or failed.
long Receive(Socket s, char* buffer, std::size_t size);
// Bytes sent; zero when there is no room now, less when the connection failed.
long SendSome(Socket s, const char* data, std::size_t size);
void Close(Socket s);
// Sends small writes at once instead of waiting for the previous one's acknowledgement.
void SendPromptly(Socket s);
// A client connection to 127.0.0.1:port (non-blocking once made), or kNoSocket.
Socket ConnectLoopback(int port);
// True when something accepts connections on 127.0.0.1:port.
bool Accepts(int port);

}  // namespace testsupport::net
