#pragma once

// The base of the program's Win32 windows. A Form is one top-level window
// whose controls are created under the names that the window's code and its
// tests use ("cmdOk", "List1"); every control is a direct child of the form,
// so its notifications arrive at the form. Texts are UTF-8 on this side and
// go through the wide API.
//
//     class frmExample : public Form {
//         frmExample() : Form("frmExample") {
//             Create(nullptr, 300, 120);
//             AddButton("cmdOk", 200, 80, 88, 26);
//             SetDefaultButton("cmdOk");
//         }
//         void OnClick(const std::string& name) override { if (name == "cmdOk") EndModal(); }
//     };
//     frmExample form;
//     form.RunModal();
//
// Keyboard: Tab moves between controls, Enter presses the default button,
// Esc and the close box call OnCancel (which closes the window unless a
// form decides otherwise).

#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace znt::win32 {

std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// Pixels on this screen for a length laid out at 96 dots per inch.
int Scaled(int length);

// The language font of a pack's character set (the family and size the
// logic names, the character set given to the font mapper). Fonts are made
// once per set and weight and live until the program ends.
HFONT LanguageFont(int charset, bool bold = false);

class Form {
public:
    explicit Form(std::string name);
    virtual ~Form();
    Form(const Form&) = delete;
    Form& operator=(const Form&) = delete;

    const std::string& Name() const { return name_; }
    HWND Handle() const { return hwnd_; }

    // The control created under name, or nullptr.
    HWND Control(std::string_view name) const;
    // The names of the controls in the order they were added.
    std::vector<std::string> ControlNames() const;

    void SetCaption(const std::string& text);
    std::string Caption() const;
    void SetText(std::string_view control, const std::string& text);
    std::string Text(std::string_view control) const;
    void SetEnabled(std::string_view control, bool enabled);
    bool Enabled(std::string_view control) const;
    void SetVisible(std::string_view control, bool visible);
    bool Visible(std::string_view control) const;
    // The pack font on the form and every control; the names listed in
    // bold keep a bold face, those in greek the Greek character set.
    void ApplyFont(int charset);
    void SetBold(std::string_view control);
    void SetGreek(std::string_view control);

    // Shows the form and returns when EndModal is called: every other
    // window of the program is disabled meanwhile, and enabled again after.
    void RunModal();
    void EndModal();
    bool InModalLoop() const { return modal_; }
    // True once the form was ended (EndModal; Esc and the close box by
    // default) and not shown again since.
    bool Ended() const { return endModal_; }
    // Shows the form without a loop of its own (modeless).
    void Show();
    void Hide();

    // Test and driver access: a click as the user's (BN_CLICKED), and the
    // keys that the form's keyboard rule handles.
    void Click(std::string_view control);
    void PressEscape();
    void PressCloseBox();
    // List boxes: the rows' texts and selection states, and a click on a
    // row as the user's (the mouse pressed and released over it).
    std::vector<std::string> ListRows(std::string_view list) const;
    bool ListRowSelected(std::string_view list, int row) const;
    void ClickListRow(std::string_view list, int row);

protected:
    // Creates the window (hidden) with a client area of width by height
    // (96-dpi units). owner may be null: a window of its own, with a
    // taskbar button.
    void Create(HWND owner, int width, int height, bool minimizeBox = false);

    HWND AddButton(const char* name, int x, int y, int w, int h);
    HWND AddLabel(const char* name, int x, int y, int w, int h, DWORD extraStyle = 0);
    HWND AddGroup(const char* name, int x, int y, int w, int h);
    HWND AddRadio(const char* name, int x, int y, int w, int h, bool firstOfGroup);
    HWND AddProgressBar(const char* name, int x, int y, int w, int h);
    HWND AddListBox(const char* name, int x, int y, int w, int h, DWORD extraStyle);
    HWND AddPicture(const char* name, int x, int y, int w, int h);
    HWND AddLine(int x, int y, int w);
    HWND AddControl(const char* name, const wchar_t* windowClass, DWORD style, DWORD exStyle, int x,
                    int y, int w, int h);
    void SetDefaultButton(const char* name);
    void MoveControl(std::string_view control, int x, int y, int w, int h);
    // A picture file (PNG, BMP) into a picture control; false when it
    // cannot be read (the control stays empty).
    bool LoadPicture(std::string_view control, const std::string& path);
    void SetIconFile(const std::string& path);

    // A button was clicked (or Enter pressed on the default button).
    virtual void OnClick(const std::string& control) { (void)control; }
    // A list box changed selection or current row.
    virtual void OnListChange(const std::string& control) { (void)control; }
    // Esc or the close box. The default ends the form (EndModal).
    virtual void OnCancel();
    // Messages a form handles itself; return true when handled.
    virtual bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    int IdOf(std::string_view name) const;
    std::string NameOfId(int id) const;

    std::string name_;
    HWND hwnd_ = nullptr;
    HICON icon_ = nullptr;
    std::map<std::string, HWND, std::less<>> controls_;
    std::vector<std::string> order_;
    std::vector<std::string> bold_;
    std::vector<std::string> greek_;
    std::vector<HBITMAP> pictures_;
    int nextId_ = 1000;
    int defaultId_ = 0;
    bool modal_ = false;
    bool endModal_ = false;
};

// The form behind a top-level window of this program, or nullptr.
Form* FormOf(HWND window);
// The visible, enabled form the user works in now (the top modal one).
Form* ActiveForm();
// An open (created) form by its name; the newest when several are.
Form* FindForm(std::string_view name);

// Runs the waiting window messages once (the program's yield during long
// work), with the forms' keyboard rule.
void PumpMessages();

}  // namespace znt::win32
