// Drives the windows of another process, for end-to-end runs under Wine.
// Control names do not cross processes; window titles and captions do, so a
// window is found by its title and a control by its caption or by its class
// and place.
//
//   wait-window <title> [seconds]        a visible window with that title exists
//   wait-gone <title> [seconds]          no visible window has that title
//   wait-text <title> <text> [seconds]   the window shows a control with that text
//   click <title> <control> [seconds]    presses a button (or option, check box)
//   select-all-list <title> [<control>]  selects every row of a list (the first)
//   close <title>                        the close box
//   text <title>                         prints the title and the visible controls
//   shot-ready [<title>]                 the windows have handled their messages
//                                        and painted: a screenshot shows them
//
// <title>: exact, or a prefix when it ends in "*". <control>: a caption
// (with or without its "&" marks), or "[Class:N]", the N-th visible control
// of that window class (from 1). click (unless told otherwise),
// select-all-list, close and text wait up to 10 s for the window and the
// control (visible and enabled); the wait commands 30 s unless told.
// Exit status: 0 done, 1 a time-out or a missing window or control (with
// the reason on standard error), 2 a wrong command line.

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;
constexpr DWORD kActionWaitMs = 10000;
constexpr DWORD kDefaultWaitMs = 30000;
constexpr DWORD kPollMs = 100;
constexpr UINT kSendTimeoutMs = 5000;

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                nullptr, nullptr);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void Print(const std::wstring& line) { std::fputs((Utf8(line) + "\n").c_str(), stdout); }

int Fail(const std::wstring& reason) {
    std::fputs(("window_driver: " + Utf8(reason) + "\n").c_str(), stderr);
    return kFailed;
}

// The caption as the window system holds it: for another process's window
// this sends nothing, so a busy program cannot hold the driver.
std::wstring TextOf(HWND window) {
    wchar_t text[1024] = {};
    int n = GetWindowTextW(window, text, 1024);
    return std::wstring(text, n > 0 ? static_cast<size_t>(n) : 0);
}

std::wstring ClassOf(HWND window) {
    wchar_t name[256] = {};
    int n = GetClassNameW(window, name, 256);
    return std::wstring(name, n > 0 ? static_cast<size_t>(n) : 0);
}

// A caption as it reads: "&&" is "&", a single "&" only marks the access key.
std::wstring Unmarked(const std::wstring& caption) {
    std::wstring out;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == L'&' && i + 1 < caption.size()) ++i;
        out += caption[i];
    }
    return out;
}

bool TitleMatches(const std::wstring& title, const std::wstring& pattern) {
    if (!pattern.empty() && pattern.back() == L'*') {
        return title.compare(0, pattern.size() - 1, pattern, 0, pattern.size() - 1) == 0;
    }
    return title == pattern;
}

std::vector<HWND> Windows(const std::wstring& pattern) {
    struct Search {
        const std::wstring& pattern;
        std::vector<HWND> found;
    } search{pattern, {}};
    EnumWindows(
        [](HWND window, LPARAM data) -> BOOL {
            auto* s = reinterpret_cast<Search*>(data);
            if (IsWindowVisible(window) && TitleMatches(TextOf(window), s->pattern)) {
                s->found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The visible window with that title; of several, the one the user can work
// in (a modal window disables the others).
HWND FindWindowTitled(const std::wstring& pattern) {
    HWND any = nullptr;
    for (HWND window : Windows(pattern)) {
        if (IsWindowEnabled(window)) return window;
        any = window;
    }
    return any;
}

std::vector<HWND> VisibleControls(HWND window) {
    std::vector<HWND> controls;
    EnumChildWindows(
        window,
        [](HWND child, LPARAM data) -> BOOL {
            if (IsWindowVisible(child))
                reinterpret_cast<std::vector<HWND>*>(data)->push_back(child);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&controls));
    return controls;
}

// "[Class:N]" or a caption; nullptr when the window shows no such control.
HWND FindControl(HWND window, const std::wstring& wanted) {
    std::wstring cls;
    int index = 0;
    size_t colon = wanted.rfind(L':');
    if (wanted.size() > 2 && wanted.front() == L'[' && wanted.back() == L']' &&
        colon != std::wstring::npos) {
        cls = wanted.substr(1, colon - 1);
        index = _wtoi(wanted.c_str() + colon + 1);
    }
    for (HWND control : VisibleControls(window)) {
        if (index > 0) {
            if (lstrcmpiW(ClassOf(control).c_str(), cls.c_str()) == 0 && --index == 0) {
                return control;
            }
        } else if (Unmarked(TextOf(control)) == Unmarked(wanted)) {
            return control;
        }
    }
    return nullptr;
}

// Polls until found() answers or the time is up.
template <typename Found>
bool WaitFor(DWORD ms, Found found) {
    for (DWORD start = GetTickCount();;) {
        if (found()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(kPollMs);
    }
}

DWORD Seconds(int argc, wchar_t** argv, int at, DWORD otherwise = kDefaultWaitMs) {
    return argc > at ? static_cast<DWORD>(_wtoi(argv[at])) * 1000 : otherwise;
}

std::wstring ControlList(HWND window) {
    std::wstring list;
    for (HWND control : VisibleControls(window)) {
        list += L" [" + ClassOf(control) + L"] \"" + TextOf(control) + L"\"";
    }
    return list;
}

// The window and a visible, enabled control in it, waiting for both.
bool FindTarget(const std::wstring& title, const std::wstring& wanted, DWORD ms, HWND& window,
                HWND& control, std::wstring& reason) {
    bool found = WaitFor(ms, [&] {
        window = FindWindowTitled(title);
        control = window ? FindControl(window, wanted) : nullptr;
        return control && IsWindowEnabled(control);
    });
    if (found) return true;
    if (!window) {
        reason = L"no window titled \"" + title + L"\"";
    } else if (control) {
        reason = L"\"" + wanted + L"\" in \"" + title + L"\" stays disabled";
    } else {
        reason =
            L"no control \"" + wanted + L"\" in \"" + title + L"\"; it shows" + ControlList(window);
    }
    return false;
}

int Click(const std::wstring& title, const std::wstring& wanted, DWORD ms) {
    HWND window = nullptr, control = nullptr;
    std::wstring reason;
    if (!FindTarget(title, wanted, ms, window, control, reason)) return Fail(reason);
    const LONG type = GetWindowLongW(control, GWL_STYLE) & BS_TYPEMASK;
    const bool pushButton = lstrcmpiW(ClassOf(control).c_str(), L"Button") == 0 &&
                            (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON);
    // Posted, so that a click which opens a modal window does not hold the
    // driver; a push button's click is its notification to the window, an
    // option or check box is clicked as by the mouse, so that it changes.
    BOOL posted = pushButton ? PostMessageW(GetParent(control), WM_COMMAND,
                                            MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                                            reinterpret_cast<LPARAM>(control))
                             : PostMessageW(control, BM_CLICK, 0, 0);
    return posted ? 0 : Fail(L"the click on \"" + wanted + L"\" could not be sent");
}

int SelectAll(const std::wstring& title, const std::wstring& wanted) {
    HWND window = nullptr, list = nullptr;
    std::wstring reason;
    if (!FindTarget(title, wanted, kActionWaitMs, window, list, reason)) return Fail(reason);
    const LONG style = GetWindowLongW(list, GWL_STYLE);
    if (!(style & (LBS_MULTIPLESEL | LBS_EXTENDEDSEL))) {
        return Fail(L"\"" + wanted + L"\" in \"" + title + L"\" is not a list of several rows");
    }
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(list, LB_SETSEL, TRUE, -1, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                             &result) ||
        static_cast<LRESULT>(result) == LB_ERR) {
        return Fail(L"the rows of \"" + wanted + L"\" could not be selected");
    }
    // The window learns of the change as from the user's click.
    PostMessageW(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(list));
    return 0;
}

int WaitWindow(const std::wstring& title, DWORD ms, bool gone) {
    if (WaitFor(ms, [&] { return (FindWindowTitled(title) != nullptr) != gone; })) return 0;
    return Fail(gone ? L"the window \"" + title + L"\" is still open"
                     : L"no window titled \"" + title + L"\" appeared");
}

int WaitText(const std::wstring& title, const std::wstring& text, DWORD ms) {
    HWND window = nullptr;
    if (WaitFor(ms, [&] {
            window = FindWindowTitled(title);
            return window && FindControl(window, text);
        })) {
        return 0;
    }
    if (!window) return Fail(L"no window titled \"" + title + L"\"");
    return Fail(L"\"" + title + L"\" never showed \"" + text + L"\"; it shows" +
                ControlList(window));
}

int Close(const std::wstring& title) {
    HWND window = nullptr;
    if (!WaitFor(kActionWaitMs, [&] { return (window = FindWindowTitled(title)) != nullptr; })) {
        return Fail(L"no window titled \"" + title + L"\"");
    }
    return PostMessageW(window, WM_CLOSE, 0, 0) ? 0 : Fail(L"WM_CLOSE could not be sent");
}

int Text(const std::wstring& title) {
    HWND window = nullptr;
    if (!WaitFor(kActionWaitMs, [&] { return (window = FindWindowTitled(title)) != nullptr; })) {
        return Fail(L"no window titled \"" + title + L"\"");
    }
    Print(TextOf(window));
    for (HWND control : VisibleControls(window)) {
        Print(ClassOf(control) + L"\t" + TextOf(control));
    }
    return 0;
}

// Each window's thread has handled what was sent before, then paints what
// is invalid (a paint of another thread's window is sent and waited for).
int ShotReady(const std::wstring& title) {
    std::vector<HWND> windows = Windows(title.empty() ? L"*" : title);
    if (windows.empty() && !title.empty()) return Fail(L"no window titled \"" + title + L"\"");
    for (HWND window : windows) {
        DWORD_PTR ignored = 0;
        if (!SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                                 &ignored)) {
            return Fail(L"\"" + TextOf(window) + L"\" does not answer");
        }
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    GdiFlush();
    Sleep(300);  // the display server draws what it was sent
    return 0;
}

int Usage() {
    std::fputs(
        "usage: window_driver wait-window|wait-gone <title> [seconds] | wait-text <title> "
        "<text> [seconds] | click <title> <control> [seconds] | select-all-list <title> "
        "[<control>] "
        "| close <title> | text <title> | shot-ready [<title>]\n",
        stderr);
    return kUsage;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // UTF-8 lines ending in "\n" alone, for the scripts that read them.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    const std::wstring command = argc > 1 ? argv[1] : L"";
    const std::wstring title = argc > 2 ? argv[2] : L"";
    if (command == L"shot-ready" && argc <= 3) return ShotReady(title);
    if (argc < 3) return Usage();
    if (command == L"wait-window" && argc <= 4)
        return WaitWindow(title, Seconds(argc, argv, 3), false);
    if (command == L"wait-gone" && argc <= 4)
        return WaitWindow(title, Seconds(argc, argv, 3), true);
    if (command == L"wait-text" && (argc == 4 || argc == 5)) {
        return WaitText(title, argv[3], Seconds(argc, argv, 4));
    }
    if (command == L"click" && (argc == 4 || argc == 5)) {
        return Click(title, argv[3], Seconds(argc, argv, 4, kActionWaitMs));
    }
    if (command == L"select-all-list" && argc <= 4) {
        return SelectAll(title, argc == 4 ? argv[3] : L"[ListBox:1]");
    }
    if (command == L"close" && argc == 3) return Close(title);
    if (command == L"text" && argc == 3) return Text(title);
    return Usage();
}
