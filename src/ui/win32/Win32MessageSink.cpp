#include "ui/win32/Win32MessageSink.h"

#include "ui/win32/Win32Form.h"

#include <windows.h>

namespace znt::win32 {
namespace {

UINT IconOf(ov::MsgIcon icon) {
    switch (icon) {
    case ov::MsgIcon::Critical: return MB_ICONERROR;
    case ov::MsgIcon::Exclamation: return MB_ICONWARNING;
    case ov::MsgIcon::Information: return MB_ICONINFORMATION;
    case ov::MsgIcon::Question: return MB_ICONQUESTION;
    case ov::MsgIcon::None: break;
    }
    return 0;
}

UINT ButtonsOf(ov::MsgButtons buttons) {
    switch (buttons) {
    case ov::MsgButtons::OkCancel: return MB_OKCANCEL;
    case ov::MsgButtons::YesNo: return MB_YESNO;
    case ov::MsgButtons::YesNoCancel: return MB_YESNOCANCEL;
    case ov::MsgButtons::Ok: break;
    }
    return MB_OK;
}

// A box that could not be shown (0) gets its most cautious answer, never
// a Yes or an Ok that nobody gave.
ov::MsgResult ResultOf(int answer, ov::MsgButtons buttons) {
    switch (answer) {
    case IDYES: return ov::MsgResult::Yes;
    case IDNO: return ov::MsgResult::No;
    case IDCANCEL: return ov::MsgResult::Cancel;
    case IDOK: return ov::MsgResult::Ok;
    default: break;
    }
    switch (buttons) {
    case ov::MsgButtons::Ok: return ov::MsgResult::Ok;
    case ov::MsgButtons::YesNo: return ov::MsgResult::No;
    default: return ov::MsgResult::Cancel;
    }
}

bool IsMessageBox(HWND window) {
    wchar_t cls[16] = {};
    GetClassNameW(window, cls, 16);
    return lstrcmpW(cls, L"#32770") == 0;
}

HWND OwnerWindow() {
    Form* active = ActiveForm();
    return active ? active->Handle() : nullptr;
}

// MessageBoxW has no say in its buttons' captions: a CBT hook on this
// thread renames them when the box is activated, before it paints. One box
// at a time per thread; the hook removes itself after its box.
struct BoxCaptions {
    HHOOK hook = nullptr;
    ov::MsgButtonLabels labels;
};
thread_local BoxCaptions tCaptions;

void Rename(HWND box, int id, const std::string& caption) {
    if (HWND button = GetDlgItem(box, id); button && !caption.empty()) {
        SetWindowTextW(button, Wide(caption).c_str());
    }
}

LRESULT CALLBACK CaptionHook(int code, WPARAM wParam, LPARAM lParam) {
    HHOOK hook = tCaptions.hook;
    if (code == HCBT_ACTIVATE && IsMessageBox(reinterpret_cast<HWND>(wParam))) {
        HWND box = reinterpret_cast<HWND>(wParam);
        const ov::MsgButtonLabels& labels = tCaptions.labels;
        Rename(box, IDOK, labels.ok);
        Rename(box, IDCANCEL, labels.cancel);
        Rename(box, IDYES, labels.yes);
        Rename(box, IDNO, labels.no);
        UnhookWindowsHookEx(hook);
        tCaptions.hook = nullptr;
    }
    return CallNextHookEx(hook, code, wParam, lParam);
}

// The input box: a prompt, an edit box, OK and Cancel; Esc cancels.
class frmInputBox : public Form {
public:
    frmInputBox(HWND owner, const std::string& prompt, const std::string& title,
                const ov::MsgButtonLabels& labels)
        : Form("frmInputBox") {
        Create(owner, 360, 128);
        AddLabel("lblPrompt", 12, 10, 336, 44);
        AddControl("txtInput", L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, 12, 58, 336,
                   22);
        AddButton("cmdOk", 164, 92, 88, 26);
        AddButton("cmdCancel", 260, 92, 88, 26);
        SetDefaultButton("cmdOk");
        SetCaption(title);
        SetText("lblPrompt", prompt);
        SetText("cmdOk", labels.ok.empty() ? "OK" : labels.ok);
        SetText("cmdCancel", labels.cancel.empty() ? "Cancel" : labels.cancel);
        ApplyFont(0);
    }

    std::optional<std::string> answer;

protected:
    void OnClick(const std::string& control) override {
        if (control == "cmdOk") answer = Text("txtInput");
        if (control == "cmdOk" || control == "cmdCancel") EndModal();
    }
    // Typing starts in the edit box.
    bool OnMessage(UINT message, WPARAM wParam, LPARAM, LRESULT& result) override {
        if (message != WM_ACTIVATE || LOWORD(wParam) == WA_INACTIVE) return false;
        SetFocus(Control("txtInput"));
        result = 0;
        return true;
    }
};

}  // namespace

ov::MsgButtonLabels Win32MessageSink::CurrentLabels() const {
    return labels_ ? labels_() : ov::MsgButtonLabels{};
}

ov::MsgResult Win32MessageSink::Show(const std::string& text, const std::string& title,
                                     ov::MsgIcon icon, ov::MsgButtons buttons) {
    HWND owner = OwnerWindow();
    // Without an owner the box still keeps the program's other windows waiting.
    UINT style = IconOf(icon) | ButtonsOf(buttons) | (owner ? 0 : MB_TASKMODAL);
    if (tCaptions.hook) UnhookWindowsHookEx(tCaptions.hook);
    tCaptions.labels = CurrentLabels();
    tCaptions.hook = SetWindowsHookExW(WH_CBT, CaptionHook, nullptr, GetCurrentThreadId());
    int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(title).c_str(), style);
    if (tCaptions.hook) {  // the box never opened
        UnhookWindowsHookEx(tCaptions.hook);
        tCaptions.hook = nullptr;
    }
    return ResultOf(answer, buttons);
}

std::optional<std::string> Win32MessageSink::InputBox(const std::string& prompt,
                                                      const std::string& title) {
    frmInputBox box(OwnerWindow(), prompt, title, CurrentLabels());
    box.RunModal();
    return box.answer;
}

}  // namespace znt::win32
