#include "ui/win32/Console.h"

#include "OVShared/Platform/CommandLine.h"
#include "ui/win32/Win32Form.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <iostream>

namespace znt::win32 {
namespace {

// A handle the program can write to: a console, a file, a pipe, a device.
bool UsableHandle(DWORD which) {
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
    return GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

// Access denied means the process has a console already (a starter may
// hand its own to a GUI program without handles to it).
bool AttachToParentsConsole() {
    return AttachConsole(ATTACH_PARENT_PROCESS) || GetLastError() == ERROR_ACCESS_DENIED;
}

// The length of text without a UTF-8 sequence cut off at its end.
std::size_t CompleteUtf8Length(const std::string& text) {
    const std::size_t n = text.size();
    for (std::size_t back = 1; back <= 4 && back <= n; ++back) {
        const auto c = static_cast<unsigned char>(text[n - back]);
        if ((c & 0xC0) == 0x80) continue;  // a continuation byte
        const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        return length > back ? n - back : n;
    }
    return n;
}

}  // namespace

// UTF-8 text to a console as UTF-16 (WriteConsoleW), whatever the console's
// code page; written out at every line end and flush.
class UnattendedConsole::ConsoleBuffer : public std::streambuf {
public:
    explicit ConsoleBuffer(HANDLE console) : console_(console) {}
    ~ConsoleBuffer() override {
        sync();
        CloseHandle(console_);
    }

protected:
    int_type overflow(int_type ch) override {
        if (traits_type::eq_int_type(ch, traits_type::eof())) return traits_type::not_eof(ch);
        pending_.push_back(traits_type::to_char_type(ch));
        if (ch == '\n' && sync() != 0) return traits_type::eof();
        return ch;
    }
    std::streamsize xsputn(const char* text, std::streamsize n) override {
        pending_.append(text, static_cast<std::size_t>(n));
        if (std::memchr(text, '\n', static_cast<std::size_t>(n)) && sync() != 0) return 0;
        return n;
    }
    int sync() override {
        const std::size_t complete = CompleteUtf8Length(pending_);
        const std::wstring wide = Wide(std::string_view(pending_).substr(0, complete));
        pending_.erase(0, complete);
        DWORD written = 0;
        if (wide.empty()) return 0;
        return WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written,
                             nullptr)
                   ? 0
                   : -1;
    }

private:
    HANDLE console_;
    std::string pending_;
};

UnattendedConsole::UnattendedConsole() {
    const bool outUsable = UsableHandle(STD_OUTPUT_HANDLE);
    const bool errUsable = UsableHandle(STD_ERROR_HANDLE);
    // Never a console of our own: without a parent's, the lines go nowhere.
    if ((!outUsable || !errUsable) && AttachToParentsConsole()) {
        attached_ = true;
        if (!outUsable) Reopen(STD_OUTPUT_HANDLE, stdout, std::cout, out_);
        if (!errUsable) Reopen(STD_ERROR_HANDLE, stderr, std::cerr, err_);
    }
    // Borrowed here, or inherited as a handle (some starters pass theirs on).
    DWORD mode = 0;
    errorOnConsole_ = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    ov::UseUtf8Console();
}

UnattendedConsole::~UnattendedConsole() {
    if (out_) std::cout.rdbuf(oldOut_);
    if (err_) std::cerr.rdbuf(oldErr_);
}

// Points a standard handle, its C stream and its C++ stream at the console.
void UnattendedConsole::Reopen(unsigned long which, FILE* stream, std::ostream& cxx,
                               std::unique_ptr<ConsoleBuffer>& buffer) {
    auto open = [] {
        return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    };
    HANDLE console = open();
    if (console == INVALID_HANDLE_VALUE) return;
    SetStdHandle(which, console);
    // The C runtime may refuse to reopen a stream it never had; the C++
    // stream below does not depend on it.
    if (_wfreopen(L"CONOUT$", L"w", stream)) setvbuf(stream, nullptr, _IONBF, 0);
    HANDLE own = open();
    if (own == INVALID_HANDLE_VALUE) return;
    buffer = std::make_unique<ConsoleBuffer>(own);
    std::streambuf* old = cxx.rdbuf(buffer.get());
    (&cxx == &std::cout ? oldOut_ : oldErr_) = old;
    cxx.clear();  // anything written before had nowhere to go
}

int UnattendedConsole::Finish(int status) {
    std::cout.flush();
    if (errorOnConsole_) std::cerr << "zntr.exe: exit status " << status << std::endl;
    return status;
}

}  // namespace znt::win32
