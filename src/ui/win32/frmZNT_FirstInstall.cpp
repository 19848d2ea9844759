#include "ui/win32/frmZNT_FirstInstall.h"

#include "OVShared/Modules/modOVCoreFunctions.h"
#include "OVShared/Platform/FileSystem.h"
#include "app/AppState.h"
#include "i18n/LanguagePack.h"
#include "i18n/TextNumbers.h"

#include <array>

namespace znt::win32 {
namespace {

// Layout in 96-dpi units. The three pages share one place; the page is
// tall enough for the longest page text of either pack, so the window
// keeps its size from page to page and language to language.
constexpr int kWidth = 470;
constexpr int kHeight = 196;
constexpr int kPageX = 68;
constexpr int kPageY = 8;
constexpr int kPageWidth = 394;
constexpr int kPageHeight = 132;
constexpr int kButtonY = 160;
constexpr int kButtonHeight = 28;

struct Page {
    const char* frame;
    const char* label;
};
constexpr std::array<Page, 3> kPages{{
    {"fmStep1", "lblStep"},
    {"fmStep2", "lblStep2"},
    {"fmStep3", "lblStep3"},
}};

}  // namespace

frmZNT_FirstInstall::frmZNT_FirstInstall(MainContext& c)
    : Form("frmZNT_FirstInstall"), c_(c), host_(c), wizard_(host_, *this) {
    // No owner: a window of its own with a taskbar button and a minimize box.
    Create(nullptr, kWidth, kHeight, true);
    BuildControls();
    LoadPictures();
    wizard_.Load();
}

void frmZNT_FirstInstall::BuildControls() {
    AddPicture("PICBACK", 10, 14, 48, 48);
    for (const Page& page : kPages) {
        AddGroup(page.frame, kPageX, kPageY, kPageWidth, kPageHeight);
        AddLabel(page.label, kPageX + 12, kPageY + 22, kPageWidth - 24, kPageHeight - 32);
    }
    AddLine(8, kButtonY - 12, kWidth - 16);
    AddButton("cmdLanguage", 8, kButtonY, 104, kButtonHeight);
    AddButton("cmdUpdate", kWidth - 212, kButtonY, 100, kButtonHeight);
    AddButton("cmdClose", kWidth - 108, kButtonY, 100, kButtonHeight);
    SetDefaultButton("cmdUpdate");
    SetGreek("cmdLanguage");
}

// The main window's picture and the program icon, from the installation.
void frmZNT_FirstInstall::LoadPictures() {
    const std::string system = c_.state.appFolder + "\\system\\";
    LoadPicture("PICBACK", ov::NativePath(system + "pictures\\ZNT_Install.png"));
    if (ov::FileExists(system + "MENU\\ZNT.ico")) {
        SetIconFile(ov::NativePath(system + "MENU\\ZNT.ico"));
    }
}

void frmZNT_FirstInstall::SetCaptions() {
    const AppTexts& t = c_.state.texts;
    ApplyFont(t.charset);
    SetCaption(t[kTextWizardTitle]);
    SetText("fmStep1", t[kTextWizardStep1Frame]);
    SetText("lblStep", t[kTextWizardStep1Label]);
    SetText("fmStep2", t[kTextWizardStep2Frame]);
    SetText("lblStep2", t[kTextWizardStep2Label]);
    SetText("fmStep3", t[kTextWizardStep3Frame]);
    SetText("lblStep3", t[kTextWizardStep3Label]);
    SetText("cmdUpdate", t[kTextWizardNext]);
    SetText("cmdClose", t[kTextWizardClose]);
    SetText("cmdLanguage", t[kTextLanguageButton]);
}

void frmZNT_FirstInstall::ShowStep(int step) {
    for (int n = 1; n <= 3; ++n) {
        SetVisible(kPages[n - 1].frame, n == step);
        SetVisible(kPages[n - 1].label, n == step);
    }
    if (step == 3) {
        SetVisible("cmdUpdate", false);
        SetDefaultButton("cmdClose");
    }
}

void frmZNT_FirstInstall::SetWizardEnabled(bool enabled) {
    for (const char* control :
         {"fmStep1", "cmdClose", "cmdUpdate", "lblStep", "fmStep2", "lblStep2", "cmdLanguage"}) {
        SetEnabled(control, enabled);
    }
}

void frmZNT_FirstInstall::ShowModal() {
    if (!ended_) RunModal();
}

void frmZNT_FirstInstall::OnClick(const std::string& control) {
    if (control == "cmdUpdate") {
        wizard_.Next();
    } else if (control == "cmdClose") {
        End();
    } else if (control == "cmdLanguage") {
        cmdLanguage_Click();
    }
}

void frmZNT_FirstInstall::cmdLanguage_Click() {
    if (wizard_.ToggleLanguage()) return;
    exitCode_ = kExitFailed;
    End();
}

void frmZNT_FirstInstall::OnCancel() { End(); }

// Every way out ends the program here, once. A long action still running
// below (a fetch, a dialog) sees the state closing and returns quietly;
// the modal loop then ends.
void frmZNT_FirstInstall::End() {
    if (!ended_) {
        ended_ = true;
        EndFromWizard(c_.state, exitCode_);
    }
    if (InModalLoop()) {
        EndModal();
    } else {
        Hide();
    }
}

}  // namespace znt::win32
