#include "ui/win32/MainForm.h"

#include "OVShared/Platform/FileSystem.h"
#include "app/AppState.h"
#include "i18n/TextNumbers.h"
#include "ui/win32/frmOVProgress.h"

#include <utility>

namespace znt::win32 {
namespace {

// Layout in 96-dpi units. The labels are wide and tall enough for the
// Greek pack's texts in Verdana 8 (or the wider fonts that stand in for it).
constexpr int kWidth = 460;
constexpr int kMargin = 12;
constexpr int kFrameWidth = kWidth - 2 * kMargin;
constexpr int kFrameHeight = 88;
constexpr int kPictureSize = 48;
constexpr int kButtonWidth = 100;
constexpr int kButtonHeight = 26;
constexpr int kButtonLeft = kWidth - kMargin - kButtonWidth;

}  // namespace

MainForm::MainForm(AppState& state, AppDialogs& dialogs, CatalogueFetch fetch)
    : Form("MainForm"), state_(state), context_{state, *this, dialogs, std::move(fetch)} {
    BuildControls();
}

MainForm::~MainForm() = default;

void MainForm::BuildFrame(int top, const char* frame, const char* picture, const char* label,
                          const char* button) {
    AddGroup(frame, kMargin, top, kFrameWidth, kFrameHeight);
    AddPicture(picture, kMargin + 12, top + 24, kPictureSize, kPictureSize);
    const int labelLeft = kMargin + 12 + kPictureSize + 12;
    AddLabel(label, labelLeft, top + 20, kButtonLeft - 12 - labelLeft, kFrameHeight - 28);
    AddButton(button, kButtonLeft - 8, top + (kFrameHeight - kButtonHeight) / 2 + 4, kButtonWidth,
              kButtonHeight);
}

void MainForm::BuildControls() {
    Create(nullptr, kWidth, 320, /*minimizeBox=*/true);
    AddLabel("lblSelect", kMargin, 10, kFrameWidth, 18);
    BuildFrame(32, "fmInstall", "imgInstall", "lblInstall", "cmdInstall");
    BuildFrame(128, "fmUninstall", "imgUninstall", "lblUninstall", "cmdUninstall");
    AddLabel("lblLanguage", kMargin, 228, kButtonLeft - 8 - kMargin, kButtonHeight,
             SS_RIGHT | SS_CENTERIMAGE);
    AddButton("cmdLanguage", kButtonLeft, 228, kButtonWidth, kButtonHeight);
    AddLine(kMargin, 268, kFrameWidth);
    AddButton("cmdOk", kButtonLeft - 8 - kButtonWidth, 282, kButtonWidth, kButtonHeight);
    AddButton("cmdCancel", kButtonLeft, 282, kButtonWidth, kButtonHeight);
    SetDefaultButton("cmdOk");
    SetBold("lblSelect");
    SetGreek("lblLanguage");
    SetGreek("cmdLanguage");
}

LoadOutcome MainForm::Load() {
    LoadOutcome outcome = LoadMainWindow(context_);
    if (ended_) return LoadOutcome{false, exitCode_};  // the close path ran during the load
    if (!outcome.showMainWindow) {
        ended_ = true;  // start-up has ended the program; there is no close path to run
        exitCode_ = outcome.exitCode;
    }
    return outcome;
}

int MainForm::Run() {
    MSG quit;
    while (!ended_) {
        WaitMessage();
        PumpMessages();
        // A request to quit ends the program the way the window does.
        if (PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) Form_Unload();
    }
    return exitCode_;
}

void MainForm::SetCaptions() {
    const AppTexts& t = state_.texts;
    ApplyFont(t.charset);
    SetCaption(t[kTextTitle] + "...");
    SetText("lblSelect", t[kTextSelectPrompt]);
    SetText("fmInstall", t[kTextInstallFrame]);
    SetText("lblInstall", t[kTextInstallLabel]);
    SetText("cmdInstall", t[kTextInstallConfirm]);
    SetText("fmUninstall", t[kTextUninstallFrame]);
    SetText("lblUninstall", t[kTextUninstallLabel]);
    SetText("cmdUninstall", t[kTextUninstallConfirm]);
    SetText("lblLanguage", t[kTextLanguageLabel]);
    SetText("cmdLanguage", t[kTextLanguageButton]);
    SetText("cmdOk", t[kTextOk]);
    SetText("cmdCancel", t[kTextCancel]);
    if (progress_) {
        progress_->SetCharset(t.charset);
        progress_->SetCaption(state_.appTitle);
    }
    LoadPictures();
}

void MainForm::LoadPictures() {
    if (picturesLoaded_) return;
    const std::string folder = state_.appFolder + "\\system\\pictures\\";
    picturesLoaded_ = LoadPicture("imgInstall", ov::NativePath(folder + "ZNT_Install.png"));
    LoadPicture("imgUninstall", ov::NativePath(folder + "ZNT_Uninstall.png"));
}

void MainForm::SetCommandsEnabled(bool enabled) {
    SetEnabled("cmdInstall", enabled);
    SetEnabled("cmdUninstall", enabled);
}

void MainForm::SetIcon(const std::string& iconPath) { SetIconFile(ov::NativePath(iconPath)); }

ov::ProgressView& MainForm::Progress() {
    if (!progress_) {
        progress_ =
            std::make_unique<frmOVProgress>(state_.sharedPack, state_.texts.charset, Handle());
        progress_->SetCaption(state_.appTitle);
    }
    return *progress_;
}

void MainForm::OnClick(const std::string& control) {
    if (control == "cmdInstall") {
        RunPackageCommand(context_, PackageCommand::Install);
    } else if (control == "cmdUninstall") {
        RunPackageCommand(context_, PackageCommand::Uninstall);
    } else if (control == "cmdLanguage") {
        cmdLanguage_Click();
    } else if (control == "cmdOk" || control == "cmdCancel") {
        Form_Unload();
    }
}

void MainForm::cmdLanguage_Click() {
    if (ToggleLanguage(context_)) return;
    exitCode_ = kExitFailed;
    Form_Unload();
}

void MainForm::OnCancel() { Form_Unload(); }

// Every way out (Esc, OK, Cancel, the close box) ends here, once.
void MainForm::Form_Unload() {
    if (ended_) return;
    ended_ = true;
    CloseProgram(state_);
    if (progress_) progress_->Close();
    Hide();
}

}  // namespace znt::win32
