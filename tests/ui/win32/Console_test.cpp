// The windowed zntr.exe started without standard handles, as cmd.exe
// starts a GUI program at its prompt: an unattended mode writes its lines,
// and the closing status line, to the console of the process that started it.

#include "support/AppFakes.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

// The test's own console for the life of the object (or the one it has),
// emptied, with the standard handles put back afterwards.
class ScratchConsole {
public:
    ScratchConsole() {
        for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
            saved_[Slot(which)] = GetStdHandle(which);
        }
        // A console the test was started with may have no screen to read.
        FreeConsole();
        own_ = AllocConsole() != 0;
        screen_ =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!GetConsoleScreenBufferInfo(screen_, &info)) return;
        DWORD written = 0;
        FillConsoleOutputCharacterW(screen_, L' ', Cells(info), COORD{0, 0}, &written);
        SetConsoleCursorPosition(screen_, COORD{0, 0});
    }
    ~ScratchConsole() {
        if (screen_ != INVALID_HANDLE_VALUE) CloseHandle(screen_);
        if (own_) FreeConsole();
        for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE}) {
            SetStdHandle(which, saved_[Slot(which)]);
        }
    }
    bool usable() const { return screen_ != INVALID_HANDLE_VALUE; }

    // Every row of the screen, trailing blanks dropped, one line each.
    std::wstring Shown() const {
        CONSOLE_SCREEN_BUFFER_INFO info{};
        if (!GetConsoleScreenBufferInfo(screen_, &info)) return {};
        std::wstring text;
        std::wstring row(static_cast<size_t>(info.dwSize.X), L' ');
        for (SHORT y = 0; y < info.dwSize.Y; ++y) {
            DWORD read = 0;
            ReadConsoleOutputCharacterW(screen_, row.data(), info.dwSize.X, COORD{0, y}, &read);
            std::wstring line = row.substr(0, read);
            line.erase(line.find_last_not_of(L' ') + 1);
            text += line + L"\n";
        }
        return text;
    }

private:
    static int Slot(DWORD which) { return static_cast<int>(STD_INPUT_HANDLE - which); }
    static DWORD Cells(const CONSOLE_SCREEN_BUFFER_INFO& info) {
        return static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(info.dwSize.Y);
    }

    HANDLE saved_[3] = {};
    HANDLE screen_ = INVALID_HANDLE_VALUE;
    bool own_ = false;
};

// Starts program with the arguments and no standard handles at all; its
// exit code, or -1.
int RunWithoutHandles(const std::string& program, const std::wstring& arguments) {
    std::wstring commandLine =
        L"\"" + std::filesystem::path(program).wstring() + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;  // every handle null
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return -1;
    }
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(code);
}

TEST(UnattendedConsole, ARunWithoutHandlesWritesToItsStartersConsoleAndEndsWithItsStatus) {
    const std::string program = apptest::BuildFolder() + "/stage/core/zntr.exe";
    if (!std::filesystem::exists(program)) GTEST_SKIP() << "no staged program";
    ScratchConsole console;
    ASSERT_TRUE(console.usable());

    EXPECT_EQ(RunWithoutHandles(program, L"/?"), 0);
    std::wstring shown = console.Shown();
    EXPECT_NE(shown.find(L"Usage: zntr.exe"), std::wstring::npos) << shown.substr(0, 400);
    EXPECT_NE(shown.find(L"zntr.exe: exit status 0\n"), std::wstring::npos);

    EXPECT_EQ(RunWithoutHandles(program, L"UNINSTALL /QUIET"), 2);
    shown = console.Shown();
    EXPECT_NE(shown.find(L"/PACKAGE="), std::wstring::npos) << "the reason, on standard error";
    EXPECT_NE(shown.find(L"zntr.exe: exit status 2\n"), std::wstring::npos);
}

}  // namespace
