#include "ui/win32/Win32Form.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/WinSupport.h"

#include <commctrl.h>
#include <gdiplus.h>

#include <algorithm>
#include <utility>

namespace znt::win32 {
namespace {

constexpr wchar_t kFormClass[] = L"ZntForm";
constexpr wchar_t kFormProperty[] = L"ZntForm";

// Every form in creation order; FindForm answers the newest first.
std::vector<Form*>& OpenForms() {
    static std::vector<Form*> forms;
    return forms;
}

int ScreenDpi() {
    static int dpi = [] {
        HDC screen = GetDC(nullptr);
        int value = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
        if (screen) ReleaseDC(nullptr, screen);
        return value > 0 ? value : 96;
    }();
    return dpi;
}

void RegisterFormClass() {
    static bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = DefWindowProcW;  // replaced per window in WindowProc's first call
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        wc.lpszClassName = kFormClass;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

// The keyboard rule of the forms (Tab, Enter, Esc) for a message, when it
// belongs to one of them. True when the message was used.
bool FormKeyboard(MSG& msg) {
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (!root || !FormOf(root)) return false;
    return IsDialogMessageW(root, &msg) != 0;
}

ULONG_PTR StartGdiplus() {
    static ULONG_PTR token = [] {
        ULONG_PTR t = 0;
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&t, &input, nullptr) != Gdiplus::Ok) t = 0;
        return t;
    }();
    return token;
}

}  // namespace

std::wstring Wide(std::string_view utf8) { return ov::Widen(utf8); }
std::string Utf8(std::wstring_view wide) { return ov::Narrow(wide); }

int Scaled(int length) { return MulDiv(length, ScreenDpi(), 96); }

HFONT LanguageFont(int charset, bool bold) {
    static std::map<std::pair<int, bool>, HFONT> fonts;
    auto found = fonts.find({charset, bold});
    if (found != fonts.end()) return found->second;
    ov::FontSpec wanted = ov::LanguageFont(charset);
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(wanted.pointSize, ScreenDpi(), 72);
    lf.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    lf.lfCharSet = static_cast<BYTE>(wanted.charset);
    lf.lfOutPrecision = OUT_TT_PRECIS;
    lf.lfQuality = CLEARTYPE_QUALITY;
    lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    std::wstring face = Wide(wanted.family);
    face.resize(std::min<size_t>(face.size(), LF_FACESIZE - 1));
    std::copy(face.begin(), face.end(), lf.lfFaceName);
    HFONT font = CreateFontIndirectW(&lf);
    if (!font) font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    fonts[{charset, bold}] = font;
    return font;
}

Form::Form(std::string name) : name_(std::move(name)) {}

Form::~Form() {
    auto& forms = OpenForms();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
    if (hwnd_) {
        RemovePropW(hwnd_, kFormProperty);
        DestroyWindow(hwnd_);
    }
    for (HBITMAP picture : pictures_) DeleteObject(picture);
    if (icon_) DestroyIcon(icon_);
}

void Form::Create(HWND owner, int width, int height, bool minimizeBox) {
    RegisterFormClass();
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | (minimizeBox ? WS_MINIMIZEBOX : 0);
    DWORD exStyle = WS_EX_CONTROLPARENT | (owner ? WS_EX_DLGMODALFRAME : WS_EX_APPWINDOW);
    RECT frame{0, 0, Scaled(width), Scaled(height)};
    AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    hwnd_ = CreateWindowExW(exStyle, kFormClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT,
                            frame.right - frame.left, frame.bottom - frame.top, owner, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
    if (!hwnd_) return;
    SetPropW(hwnd_, kFormProperty, this);
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Form::WindowProc));
    OpenForms().push_back(this);
    // Centred over the owner, or on the screen.
    RECT area{};
    if (owner && IsWindowVisible(owner)) {
        GetWindowRect(owner, &area);
    } else {
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    }
    int w = frame.right - frame.left;
    int h = frame.bottom - frame.top;
    SetWindowPos(hwnd_, nullptr, area.left + (area.right - area.left - w) / 2,
                 area.top + (area.bottom - area.top - h) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Form::AddControl(const char* name, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                      int x, int y, int w, int h) {
    int id = nextId_++;
    HWND control = CreateWindowExW(exStyle, windowClass, L"", WS_CHILD | WS_VISIBLE | style,
                                   Scaled(x), Scaled(y), Scaled(w), Scaled(h), hwnd_,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   GetModuleHandleW(nullptr), nullptr);
    if (name && *name) {
        controls_[name] = control;
        order_.emplace_back(name);
    }
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(0)), FALSE);
    return control;
}

HWND Form::AddButton(const char* name, int x, int y, int w, int h) {
    return AddControl(name, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, x, y, w, h);
}

HWND Form::AddLabel(const char* name, int x, int y, int w, int h, DWORD extraStyle) {
    return AddControl(name, L"STATIC", SS_LEFT | SS_NOPREFIX | extraStyle, 0, x, y, w, h);
}

// A group box never paints its inside; as a transparent window it is left
// out of the form's child clipping, so the form's background shows there.
HWND Form::AddGroup(const char* name, int x, int y, int w, int h) {
    return AddControl(name, L"BUTTON", BS_GROUPBOX, WS_EX_TRANSPARENT, x, y, w, h);
}

HWND Form::AddRadio(const char* name, int x, int y, int w, int h, bool firstOfGroup) {
    return AddControl(name, L"BUTTON",
                      BS_AUTORADIOBUTTON | (firstOfGroup ? WS_GROUP | WS_TABSTOP : 0), 0, x, y, w,
                      h);
}

HWND Form::AddProgressBar(const char* name, int x, int y, int w, int h) {
    HWND bar = AddControl(name, PROGRESS_CLASSW, 0, 0, x, y, w, h);
    SendMessageW(bar, PBM_SETRANGE32, 0, 100);
    return bar;
}

HWND Form::AddListBox(const char* name, int x, int y, int w, int h, DWORD extraStyle) {
    return AddControl(name, L"LISTBOX",
                      WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | extraStyle,
                      WS_EX_CLIENTEDGE, x, y, w, h);
}

HWND Form::AddPicture(const char* name, int x, int y, int w, int h) {
    return AddControl(name, L"STATIC", SS_BITMAP | SS_CENTERIMAGE, 0, x, y, w, h);
}

HWND Form::AddLine(int x, int y, int w) {
    return AddControl(nullptr, L"STATIC", SS_ETCHEDHORZ, 0, x, y, w, 2);
}

void Form::SetDefaultButton(const char* name) {
    if (HWND old = defaultId_ ? GetDlgItem(hwnd_, defaultId_) : nullptr) {
        SendMessageW(old, BM_SETSTYLE, BS_PUSHBUTTON, TRUE);
    }
    defaultId_ = IdOf(name);
    if (HWND button = Control(name)) SendMessageW(button, BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
}

void Form::MoveControl(std::string_view control, int x, int y, int w, int h) {
    if (HWND c = Control(control)) MoveWindow(c, Scaled(x), Scaled(y), Scaled(w), Scaled(h), TRUE);
}

bool Form::LoadPicture(std::string_view control, const std::string& path) {
    HWND target = Control(control);
    if (!target || !StartGdiplus()) return false;
    Gdiplus::GpBitmap* bitmap = nullptr;
    std::wstring file = Wide(path);
    if (Gdiplus::DllExports::GdipCreateBitmapFromFile(file.c_str(), &bitmap) != Gdiplus::Ok ||
        !bitmap) {
        return false;
    }
    HBITMAP picture = nullptr;
    Gdiplus::DllExports::GdipCreateHBITMAPFromBitmap(bitmap, &picture,
                                                     GetSysColor(COLOR_BTNFACE) | 0xFF000000);
    Gdiplus::DllExports::GdipDisposeImage(bitmap);
    if (!picture) return false;
    pictures_.push_back(picture);
    SendMessageW(target, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    return true;
}

void Form::SetIconFile(const std::string& path) {
    HICON icon = static_cast<HICON>(LoadImageW(nullptr, Wide(path).c_str(), IMAGE_ICON, 0, 0,
                                               LR_LOADFROMFILE | LR_DEFAULTSIZE));
    if (!icon) return;
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
    if (icon_) DestroyIcon(icon_);
    icon_ = icon;
}

HWND Form::Control(std::string_view name) const {
    auto found = controls_.find(name);
    return found == controls_.end() ? nullptr : found->second;
}

std::vector<std::string> Form::ControlNames() const { return order_; }

int Form::IdOf(std::string_view name) const {
    HWND control = Control(name);
    return control ? GetDlgCtrlID(control) : 0;
}

std::string Form::NameOfId(int id) const {
    HWND control = GetDlgItem(hwnd_, id);
    for (const auto& [name, handle] : controls_) {
        if (handle == control) return name;
    }
    return {};
}

void Form::SetCaption(const std::string& text) { SetWindowTextW(hwnd_, Wide(text).c_str()); }

namespace {
std::string WindowText(HWND window) {
    if (!window) return {};
    int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<size_t>(std::max(got, 0)));
    return Utf8(text);
}
}  // namespace

std::string Form::Caption() const { return WindowText(hwnd_); }

void Form::SetText(std::string_view control, const std::string& text) {
    if (HWND c = Control(control)) SetWindowTextW(c, Wide(text).c_str());
}

std::string Form::Text(std::string_view control) const { return WindowText(Control(control)); }

void Form::SetEnabled(std::string_view control, bool enabled) {
    if (HWND c = Control(control)) EnableWindow(c, enabled);
}

bool Form::Enabled(std::string_view control) const {
    HWND c = Control(control);
    return c && IsWindowEnabled(c);
}

void Form::SetVisible(std::string_view control, bool visible) {
    if (HWND c = Control(control)) ShowWindow(c, visible ? SW_SHOWNA : SW_HIDE);
}

bool Form::Visible(std::string_view control) const {
    HWND c = Control(control);
    return c && (GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE) != 0;
}

void Form::ApplyFont(int charset) {
    SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(charset)), FALSE);
    for (HWND child = GetWindow(hwnd_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(charset)), TRUE);
    }
    for (const std::string& name : greek_) {
        if (HWND c = Control(name)) {
            SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(161)), TRUE);
        }
    }
    for (const std::string& name : bold_) {
        if (HWND c = Control(name)) {
            SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(LanguageFont(charset, true)),
                         TRUE);
        }
    }
}

void Form::SetBold(std::string_view control) { bold_.emplace_back(control); }
void Form::SetGreek(std::string_view control) { greek_.emplace_back(control); }

void Form::Show() {
    ShowWindow(hwnd_, SW_SHOW);
    SetForegroundWindow(hwnd_);
}

void Form::Hide() { ShowWindow(hwnd_, SW_HIDE); }

void Form::RunModal() {
    // Every other window of the program waits while this one is open.
    std::vector<HWND> disabled;
    for (Form* other : OpenForms()) {
        HWND h = other->Handle();
        if (other != this && h && IsWindowEnabled(h) && IsWindowVisible(h)) {
            EnableWindow(h, FALSE);
            disabled.push_back(h);
        }
    }
    modal_ = true;
    endModal_ = false;
    Show();
    MSG msg;
    while (!endModal_) {
        BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got <= 0) {
            if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));  // for the outer loop
            break;
        }
        if (FormKeyboard(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    modal_ = false;
    // The owner comes back before this hides, so that the activation goes
    // to it rather than to another program.
    for (HWND h : disabled) {
        if (IsWindow(h)) EnableWindow(h, TRUE);
    }
    Hide();
}

void Form::EndModal() {
    endModal_ = true;
    if (modal_) {
        PostMessageW(hwnd_, WM_NULL, 0, 0);  // wakes the loop, which hides the form
    } else {
        Hide();
    }
}

void Form::Click(std::string_view control) {
    if (HWND c = Control(control); c && IsWindowEnabled(c)) {
        SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(c), BN_CLICKED),
                     reinterpret_cast<LPARAM>(c));
    }
}

void Form::PressEscape() { SendMessageW(hwnd_, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); }

void Form::PressCloseBox() { SendMessageW(hwnd_, WM_CLOSE, 0, 0); }

std::vector<std::string> Form::ListRows(std::string_view list) const {
    std::vector<std::string> rows;
    HWND c = Control(list);
    const LRESULT count = c ? SendMessageW(c, LB_GETCOUNT, 0, 0) : 0;
    for (LRESULT row = 0; row < count; ++row) {
        const LRESULT length = SendMessageW(c, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
        std::wstring text(static_cast<size_t>(std::max<LRESULT>(length, 0)) + 1, L'\0');
        const LRESULT got = SendMessageW(c, LB_GETTEXT, static_cast<WPARAM>(row),
                                         reinterpret_cast<LPARAM>(text.data()));
        text.resize(static_cast<size_t>(std::max<LRESULT>(got, 0)));
        rows.push_back(Utf8(text));
    }
    return rows;
}

bool Form::ListRowSelected(std::string_view list, int row) const {
    HWND c = Control(list);
    return c && SendMessageW(c, LB_GETSEL, static_cast<WPARAM>(row), 0) > 0;
}

void Form::ClickListRow(std::string_view list, int row) {
    HWND c = Control(list);
    if (!c || !IsWindowEnabled(c)) return;
    SendMessageW(c, LB_SETTOPINDEX, static_cast<WPARAM>(row), 0);  // scrolled into view
    RECT item{};
    if (SendMessageW(c, LB_GETITEMRECT, static_cast<WPARAM>(row),
                     reinterpret_cast<LPARAM>(&item)) == LB_ERR) {
        return;
    }
    const LPARAM at = MAKELPARAM((item.left + item.right) / 2, (item.top + item.bottom) / 2);
    SendMessageW(c, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(c, WM_LBUTTONUP, 0, at);
}

void Form::OnCancel() { EndModal(); }

bool Form::OnMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

LRESULT CALLBACK Form::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* form = static_cast<Form*>(GetPropW(hwnd, kFormProperty));
    if (!form) return DefWindowProcW(hwnd, message, wParam, lParam);
    return form->Dispatch(message, wParam, lParam);
}

LRESULT Form::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnMessage(message, wParam, lParam, result)) return result;
    switch (message) {
    case DM_GETDEFID: return defaultId_ ? MAKELRESULT(defaultId_, DC_HASDEFID) : 0;
    case WM_CLOSE: OnCancel(); return 0;
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        const int code = HIWORD(wParam);
        if (id == IDCANCEL && lParam == 0) {
            OnCancel();
            return 0;
        }
        if (id == IDOK && lParam == 0) {  // Enter with no default button
            return 0;
        }
        std::string name = NameOfId(id);
        if (name.empty()) break;
        HWND control = reinterpret_cast<HWND>(lParam);
        wchar_t cls[16] = {};
        if (control) GetClassNameW(control, cls, 16);
        if (lstrcmpiW(cls, L"LISTBOX") == 0) {
            if (code == LBN_SELCHANGE) OnListChange(name);
        } else if (code == BN_CLICKED && (!control || IsWindowEnabled(control))) {
            OnClick(name);
        }
        return 0;
    }
    default: break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

Form* FormOf(HWND window) {
    return window ? static_cast<Form*>(GetPropW(window, kFormProperty)) : nullptr;
}

Form* ActiveForm() {
    auto& forms = OpenForms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
        HWND h = (*it)->Handle();
        if (h && IsWindowVisible(h) && IsWindowEnabled(h)) return *it;
    }
    return nullptr;
}

Form* FindForm(std::string_view name) {
    auto& forms = OpenForms();
    for (auto it = forms.rbegin(); it != forms.rend(); ++it) {
        if ((*it)->Name() == name) return *it;
    }
    return nullptr;
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (FormKeyboard(msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

}  // namespace znt::win32
