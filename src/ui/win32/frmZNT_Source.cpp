#include "ui/win32/frmZNT_Source.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "i18n/TextNumbers.h"

#include <objbase.h>
#include <shlobj.h>

namespace znt::win32 {
namespace {

// Folders of the file system only, typed names checked, no new-folder button.
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN | BIF_EDITBOX |
                              BIF_VALIDATE | BIF_BROWSEINCLUDEURLS | BIF_UAHINT |
                              BIF_NONEWFOLDERBUTTON;
static_assert(kBrowseFlags == 947);

// Opens the browser on the folder the dialog shows.
int CALLBACK BrowserEvent(HWND browser, UINT message, LPARAM, LPARAM start) {
    if (message == BFFM_INITIALIZED && start) {
        SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, start);
    }
    return 0;
}

// The picked folder as a path (at most MAX_PATH characters), or empty.
std::string PathOf(PIDLIST_ABSOLUTE picked) {
    wchar_t path[MAX_PATH + 1] = {};
    if (!SHGetPathFromIDListW(picked, path)) return {};
    return ov::CutAtNul(Utf8(std::wstring_view(path, MAX_PATH)));
}

}  // namespace

std::optional<std::string> BrowseForFolder(HWND owner, const std::string& title,
                                           const std::string& start) {
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    std::wstring wideTitle = Wide(title);
    std::wstring wideStart = Wide(start);
    BROWSEINFOW info{};
    info.hwndOwner = owner;
    info.lpszTitle = wideTitle.c_str();
    info.ulFlags = kBrowseFlags;
    info.lpfn = BrowserEvent;
    info.lParam = reinterpret_cast<LPARAM>(wideStart.c_str());
    std::optional<std::string> folder;
    if (PIDLIST_ABSOLUTE picked = SHBrowseForFolderW(&info)) {
        folder = PathOf(picked);
        CoTaskMemFree(picked);
    }
    if (com) CoUninitialize();
    return folder;
}

frmZNT_Source::frmZNT_Source(SourceValues values, const AppTexts& texts,
                             const std::string& appFolder, HWND owner, FolderBrowser browse)
    : Form("frmZNT_Source"),
      values_(values),
      texts_(texts),
      appFolder_(appFolder),
      browse_(std::move(browse)) {
    BuildControls(owner);
    Form_Load();
}

void frmZNT_Source::BuildControls(HWND owner) {
    Create(owner, 488, 206);
    AddPicture("Picture1", 12, 14, 48, 48);
    AddGroup("fmSettings", 72, 8, 404, 152);
    AddRadio("Option1_0", 86, 30, 380, 20, true);
    AddRadio("Option1_1", 86, 52, 380, 20, false);
    // The label starts a new group, so that the arrow keys stay in the choice.
    HWND label = AddLabel("lblSource", 86, 86, 380, 16);
    SetWindowLongPtrW(label, GWL_STYLE, GetWindowLongPtrW(label, GWL_STYLE) | WS_GROUP);
    AddLabel("lblDir", 86, 106, 274, 24, SS_SUNKEN | SS_CENTERIMAGE | SS_PATHELLIPSIS);
    AddButton("cmdBrowse", 366, 105, 100, 26);
    AddButton("cmdOk", 276, 170, 96, 26);
    AddButton("cmdCancel", 380, 170, 96, 26);
    SetDefaultButton("cmdOk");
}

void frmZNT_Source::ShowModal() { RunModal(); }

void frmZNT_Source::Form_Load() {
    SetCaptions();
    Choose(values_.SourceIsInternet);
    SetText("lblDir", values_.SourceFolder);
    LoadPicture("Picture1", appFolder_ + "\\system\\pictures\\ZNT_Install.png");
    UpdateEnabledState();
}

void frmZNT_Source::SetCaptions() {
    ApplyFont(texts_.charset);
    SetCaption(texts_[kTextSourceTitle]);
    SetText("fmSettings", texts_[kTextSourceFrame]);
    SetText("Option1_0", texts_[kTextSourceInternet]);
    SetText("Option1_1", texts_[kTextSourceFolder]);
    SetText("lblSource", texts_[kTextSourceFolderLabel]);
    SetText("cmdBrowse", texts_[kTextSourceBrowse]);
    SetText("cmdOk", texts_[kTextOk]);
    SetText("cmdCancel", texts_[kTextCancel]);
}

bool frmZNT_Source::InternetChosen() const {
    return SendMessageW(Control("Option1_1"), BM_GETCHECK, 0, 0) != BST_CHECKED;
}

void frmZNT_Source::Choose(bool internet) {
    SendMessageW(Control("Option1_0"), BM_SETCHECK, internet ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageW(Control("Option1_1"), BM_SETCHECK, internet ? BST_UNCHECKED : BST_CHECKED, 0);
}

// The folder controls only matter for the local choice.
void frmZNT_Source::UpdateEnabledState() {
    const bool local = FolderControlsEnabled(InternetChosen());
    SetEnabled("cmdBrowse", local);
    SetEnabled("lblSource", local);
    SetEnabled("lblDir", local);
}

void frmZNT_Source::OnClick(const std::string& control) {
    if (control == "Option1_0" || control == "Option1_1") {
        Choose(control == "Option1_0");  // a click that came without the mouse checks it too
        UpdateEnabledState();
    } else if (control == "cmdBrowse") {
        cmdBrowse_Click();
    } else if (control == "cmdOk") {
        cmdOk_Click();
    } else if (control == "cmdCancel") {
        EndModal();
    }
}

void frmZNT_Source::cmdBrowse_Click() {
    std::optional<std::string> picked =
        browse_(Handle(), texts_[kTextSourceFolderLabel], values_.SourceFolder);
    if (picked && !picked->empty()) values_.SourceFolder = *picked;
    SetText("lblDir", values_.SourceFolder);
}

void frmZNT_Source::cmdOk_Click() {
    ConfirmSourceValues(values_, InternetChosen());
    EndModal();
}

}  // namespace znt::win32
