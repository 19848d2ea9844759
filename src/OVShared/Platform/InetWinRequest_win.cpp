#include "OVShared/Platform/InetWinRequest.h"

#include "OVShared/Platform/InetTransferShared.h"
#include "OVShared/Platform/WinSupport.h"

#include <string_view>
#include <utility>
#include <vector>

namespace ov::inet::win {
namespace {

std::wstring QueryText(HINTERNET request, DWORD what) {
    DWORD size = 0;
    HttpQueryInfoW(request, what, nullptr, &size, nullptr);
    if (size == 0) return {};
    std::vector<wchar_t> buffer(size / sizeof(wchar_t) + 1);
    if (!HttpQueryInfoW(request, what, buffer.data(), &size, nullptr)) return {};
    return std::wstring(buffer.data(), size / sizeof(wchar_t));
}

// The short phrase for the failures a user can act on; null for the rest.
const char* ShortReason(DWORD code) {
    switch (code) {
    case ERROR_INTERNET_CANNOT_CONNECT: return "connection refused";
    case ERROR_INTERNET_NAME_NOT_RESOLVED: return "host not found";
    case ERROR_INTERNET_TIMEOUT: return "connection timed out";
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
    case ERROR_INTERNET_SEC_INVALID_CERT: return "certificate not trusted";
    case ERROR_INTERNET_SECURITY_CHANNEL_ERROR: return "secure connection failed";
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET: return "connection closed early";
    default: return nullptr;
    }
}

}  // namespace

std::string ErrorText(DWORD code) {
    if (const char* reason = ShortReason(code)) return reason;
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE |
                                 FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             GetModuleHandleW(L"wininet.dll"), code, 0,
                             reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text ? std::wstring(text, n) : std::wstring();
    if (text) LocalFree(text);
    while (!message.empty() &&
           (message.back() == L'\r' || message.back() == L'\n' || message.back() == L' ')) {
        message.pop_back();
    }
    std::string number = "WinINet error " + std::to_string(code);
    return message.empty() ? number : Narrow(message) + " (" + number + ")";
}

void Fail(std::string text) { throw Failed{std::move(text)}; }
void FailCall() { Fail(ErrorText(GetLastError())); }

Address Crack(const std::wstring& url) {
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    parts.dwSchemeLength = 1;
    if (!InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) ||
        (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) ||
        parts.dwHostNameLength == 0) {
        Fail("only http and https addresses are fetched");
    }
    Address a;
    a.host.assign(parts.lpszHostName, parts.dwHostNameLength);
    a.port = parts.nPort;
    a.path.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    if (parts.lpszExtraInfo) a.path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (a.path.empty()) a.path = L"/";
    a.secure = parts.nScheme == INTERNET_SCHEME_HTTPS;
    return a;
}

std::wstring Combined(const std::wstring& base, const std::wstring& relative) {
    std::vector<wchar_t> out(base.size() + relative.size() + 1024);
    DWORD length = static_cast<DWORD>(out.size());
    if (!InternetCombineUrlW(base.c_str(), relative.c_str(), out.data(), &length, ICU_NO_ENCODE)) {
        Fail("bad redirect address");
    }
    return std::wstring(out.data(), length);
}

Response ReadHead(HINTERNET request) {
    Response r;
    std::string raw = Narrow(QueryText(request, HTTP_QUERY_RAW_HEADERS_CRLF));
    r.headerBytes = raw.size();
    bool encoded = false;
    for (std::size_t at = 0; at < raw.size();) {
        std::size_t end = raw.find("\r\n", at);
        std::string_view line(raw.data() + at, (end == std::string::npos ? raw.size() : end) - at);
        inet::NoteHeaderLine(r.head, line);
        if (auto coding = inet::HeaderValue(line, "content-encoding")) {
            r.encoding = std::string(*coding);
            encoded = !inet::EqualsCoding(r.encoding, "identity");
        }
        if (auto n = inet::HeaderValue(line, "content-length")) {
            try {
                r.length = std::stoull(std::string(*n));
            } catch (...) {
            }
        }
        if (auto to = inet::HeaderValue(line, "location")) r.location = Widen(*to);
        at = end == std::string::npos ? raw.size() : end + 2;
    }
    r.sentLength = r.length;
    if (encoded) r.length.reset();  // the body read is the decoded one
    return r;
}

bool IsRedirect(long code) {
    return code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
}

}  // namespace ov::inet::win
