#pragma once

// Standard output and error for the unattended modes of the Windows
// zntr.exe, a GUI-subsystem program. Such a program starts without a
// console, and a double-click must never open one; started from cmd.exe it
// inherits the handles cmd redirected (a file, a pipe) and nothing for the
// others. For those, the run borrows the console of the process that
// started it, when there is one.
//
// cmd.exe waits for every program inside a batch file, so a script gets the
// exit status in %ERRORLEVEL%. At its interactive prompt, though, cmd does
// not wait for a GUI program: the prompt comes back at once and the run's
// lines follow it. A run whose standard error is a console therefore ends
// with "zntr.exe: exit status N" there, so that the user sees when it ended
// and how.

#include <cstdio>
#include <memory>
#include <ostream>
#include <streambuf>

namespace znt::win32 {

class UnattendedConsole {
public:
    // Attaches to the parent's console when standard output or error has no
    // usable handle, and points the missing ones (the C and C++ streams and
    // the process's standard handles) at it; usable handles are kept. The
    // console shows UTF-8.
    UnattendedConsole();
    // Puts the C++ streams back.
    ~UnattendedConsole();
    UnattendedConsole(const UnattendedConsole&) = delete;
    UnattendedConsole& operator=(const UnattendedConsole&) = delete;

    // Whether the parent's console was borrowed.
    bool Attached() const { return attached_; }
    // Whether standard error is a console (borrowed or inherited), not
    // redirected.
    bool ErrorOnConsole() const { return errorOnConsole_; }

    // status, after the closing status line when standard error is a
    // console.
    int Finish(int status);

private:
    class ConsoleBuffer;
    void Reopen(unsigned long which, FILE* stream, std::ostream& cxx,
                std::unique_ptr<ConsoleBuffer>& buffer);

    bool attached_ = false;
    bool errorOnConsole_ = false;
    std::unique_ptr<ConsoleBuffer> out_;
    std::unique_ptr<ConsoleBuffer> err_;
    std::streambuf* oldOut_ = nullptr;
    std::streambuf* oldErr_ = nullptr;
};

}  // namespace znt::win32
