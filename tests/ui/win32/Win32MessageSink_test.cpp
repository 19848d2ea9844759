// The program's message and input boxes as a user sees them: real message
// boxes whose standard buttons speak the interface's language (taken from
// the shipped packs), owned by the window the user works in.

#include "ui/win32/Win32MessageSink.h"

#include "i18n/LanguagePack.h"
#include "support/AppFakes.h"
#include "ui/win32/Driving.h"
#include "ui/win32/Win32Form.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using win32test::WhenShown;

namespace znt::win32 {
namespace {

class Owner : public Form {
public:
    Owner() : Form("frmOwner") { Create(nullptr, 200, 80); }
};

HWND OpenBox() {
    HWND found = nullptr;
    EnumThreadWindows(
        GetCurrentThreadId(),
        [](HWND window, LPARAM out) -> BOOL {
            wchar_t cls[16] = {};
            GetClassNameW(window, cls, 16);
            if (lstrcmpW(cls, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
            *reinterpret_cast<HWND*>(out) = window;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

// What the user saw in the next message box: its title, its owner and its
// button captions (sorted); the button captioned press is clicked.
struct SeenBox {
    std::string title;
    HWND owner = nullptr;
    std::vector<std::string> captions;
};

void AnswerNextBox(SeenBox& seen, const std::string& press, int tries = 200) {
    WhenShown([&seen, press, tries] {
        HWND box = OpenBox();
        if (!box) {
            if (tries > 0) AnswerNextBox(seen, press, tries - 1);
            return;
        }
        seen = SeenBox{Utf8(win32test::WindowTextOf(box)), GetWindow(box, GW_OWNER), {}};
        HWND pressed = nullptr;
        for (int id : {IDOK, IDCANCEL, IDYES, IDNO}) {
            HWND button = GetDlgItem(box, id);
            if (!button || !IsWindowVisible(button)) continue;
            seen.captions.push_back(Utf8(win32test::WindowTextOf(button)));
            if (seen.captions.back() == press) pressed = button;
        }
        std::sort(seen.captions.begin(), seen.captions.end());
        if (pressed) {
            PostMessageW(box, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(pressed), BN_CLICKED),
                         reinterpret_cast<LPARAM>(pressed));
        } else {
            PostMessageW(box, WM_CLOSE, 0, 0);
        }
    });
}

TEST(Win32MessageSink, StandardButtonsAreCaptionedInTheCurrentLanguage) {
    const std::string stage = apptest::BuildFolder() + "/stage";
    AppTexts texts;
    if (LoadLanguagePack(texts, stage, "GREEK.LNG") != PackLoadResult::Ok) {
        GTEST_SKIP() << "no staged build";
    }
    Owner owner;
    owner.Show();
    Win32MessageSink sink;
    sink.SetButtonLabels([&texts] { return MessageButtonLabels(texts); });
    SeenBox seen;

    AnswerNextBox(seen, "Όχι");
    EXPECT_EQ(sink.Show("Συνέχεια;", "Τίτλος", ov::MsgIcon::Question, ov::MsgButtons::YesNoCancel),
              ov::MsgResult::No);
    EXPECT_EQ(seen.captions, (std::vector<std::string>{"Άκυρο", "Όχι", "Ναι"}));  // byte order
    EXPECT_EQ(seen.title, "Τίτλος");
    EXPECT_EQ(seen.owner, owner.Handle()) << "owned by the active window";

    AnswerNextBox(seen, "Εντάξει");
    EXPECT_EQ(sink.Show("Κείμενο", "Τίτλος", ov::MsgIcon::Exclamation, ov::MsgButtons::OkCancel),
              ov::MsgResult::Ok);
    EXPECT_EQ(seen.captions, (std::vector<std::string>{"Άκυρο", "Εντάξει"}));

    // After a switch to English the next box follows it; the close box of
    // a question with Cancel answers Cancel.
    ASSERT_EQ(LoadLanguagePack(texts, stage, "English.lng"), PackLoadResult::Ok);
    AnswerNextBox(seen, "Yes");
    EXPECT_EQ(sink.Show("Go on?", "Title", ov::MsgIcon::Question, ov::MsgButtons::YesNo),
              ov::MsgResult::Yes);
    EXPECT_EQ(seen.captions, (std::vector<std::string>{"No", "Yes"}));
    AnswerNextBox(seen, "nothing");
    EXPECT_EQ(sink.Show("Stop?", "Title", ov::MsgIcon::Question, ov::MsgButtons::OkCancel),
              ov::MsgResult::Cancel);
}

TEST(Win32MessageSink, InputBoxGivesTheTypedTextOnOkAndNothingOnCancelOrEsc) {
    AppTexts texts;
    const std::string stage = apptest::BuildFolder() + "/stage";
    if (LoadLanguagePack(texts, stage, "GREEK.LNG") != PackLoadResult::Ok) {
        GTEST_SKIP() << "no staged build";
    }
    Win32MessageSink sink;
    sink.SetButtonLabels([&texts] { return MessageButtonLabels(texts); });
    std::string okCaption, cancelCaption, prompt;
    WhenShown([&] {
        Form* box = ActiveForm();
        ASSERT_NE(box, nullptr);
        okCaption = box->Text("cmdOk");
        cancelCaption = box->Text("cmdCancel");
        prompt = box->Text("lblPrompt");
        EXPECT_EQ(GetFocus(), box->Control("txtInput")) << "typing starts in the edit box";
        box->SetText("txtInput", "κωδικός 1");
        box->Click("cmdOk");
    });
    EXPECT_EQ(sink.InputBox("Κωδικός:", "Τίτλος"), "κωδικός 1");
    EXPECT_EQ(okCaption, "Εντάξει");
    EXPECT_EQ(cancelCaption, "Άκυρο");
    EXPECT_EQ(prompt, "Κωδικός:");

    WhenShown([&] {
        ActiveForm()->SetText("txtInput", "typed");
        ActiveForm()->Click("cmdCancel");
    });
    EXPECT_EQ(sink.InputBox("Password:", "Title"), std::nullopt);

    WhenShown([&] {
        Form* box = ActiveForm();
        box->SetText("txtInput", "typed");
        win32test::PostKey(box->Control("txtInput"), VK_ESCAPE);
    });
    EXPECT_EQ(sink.InputBox("Password:", "Title"), std::nullopt);

    WhenShown([&] { ActiveForm()->Click("cmdOk"); });
    EXPECT_EQ(sink.InputBox("Password:", "Title"), "") << "an empty answer is an answer";
}

}  // namespace
}  // namespace znt::win32
