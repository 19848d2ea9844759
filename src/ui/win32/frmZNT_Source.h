#pragma once

// frmZNT_Source: where the packages come from, the update server or a local
// folder such as a CD. It edits the program's source values in place and
// sets SourceConfirmed only on OK; Cancel, Esc and the close box leave
// SourceConfirmed as the caller set it (a folder picked with Browse stays
// picked).

#include "i18n/LanguagePack.h"
#include "install/SourceChoice.h"
#include "ui/win32/Win32Form.h"

#include <functional>
#include <optional>
#include <string>

namespace znt::win32 {

// Asks for a folder: owner, title, the folder to start in. Nothing when the
// user cancelled.
using FolderBrowser =
    std::function<std::optional<std::string>(HWND, const std::string&, const std::string&)>;

// The system's folder browser: file-system folders only, an edit box that
// is validated, no new-folder button, opened on the start folder.
std::optional<std::string> BrowseForFolder(HWND owner, const std::string& title,
                                           const std::string& start);

class frmZNT_Source : public Form {
public:
    frmZNT_Source(SourceValues values, const AppTexts& texts, const std::string& appFolder,
                  HWND owner = nullptr, FolderBrowser browse = BrowseForFolder);

    // Shows the dialog modally; returns when it has closed.
    void ShowModal();

protected:
    void OnClick(const std::string& control) override;

private:
    void BuildControls(HWND owner);
    void Form_Load();
    void SetCaptions();
    bool InternetChosen() const;
    void Choose(bool internet);
    void UpdateEnabledState();
    void cmdBrowse_Click();
    void cmdOk_Click();

    SourceValues values_;
    const AppTexts& texts_;
    std::string appFolder_;
    FolderBrowser browse_;
};

}  // namespace znt::win32
