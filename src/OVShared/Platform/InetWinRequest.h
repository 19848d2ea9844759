#pragma once

// The WinINet side of one request, for the Windows transfer worker: error
// texts, address checks, redirect targets and the response facts read from
// the raw headers. Failures throw Failed.

#include "OVShared/Platform/InetChannel.h"

#include <windows.h>
#include <wininet.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace ov::inet::win {

// Why a request failed; thrown by Fail and caught where the transfer ends.
struct Failed {
    std::string text;
};

[[noreturn]] void Fail(std::string text);
// Fails with the text of GetLastError's WinINet error.
[[noreturn]] void FailCall();
std::string ErrorText(DWORD code);

// The parts of an http or https address; anything else is refused.
struct Address {
    std::wstring host;
    INTERNET_PORT port = 0;
    std::wstring path;  // with its query
    bool secure = false;
};

Address Crack(const std::wstring& url);
// relative resolved against base (a Location header).
std::wstring Combined(const std::wstring& base, const std::wstring& relative);

// The response facts, plus what the reader checks the body against.
struct Response {
    InetHead head;
    std::wstring location;
    std::optional<std::uint64_t> length;  // of an unencoded body
    std::optional<std::uint64_t> sentLength;  // Content-Length as sent, encoded or not
    std::string encoding;                     // Content-Encoding as sent; empty for none
    std::size_t headerBytes = 0;
};

Response ReadHead(HINTERNET request);
bool IsRedirect(long code);

}  // namespace ov::inet::win
