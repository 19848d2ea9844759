// The base of the Win32 windows under Wine: named controls keep every
// character of their texts, a modal form ends on Esc, on the close box and
// from a click, and the other windows wait while it is open.

#include "ui/win32/Win32Form.h"

#include "ui/win32/Driving.h"

#include <gtest/gtest.h>

#include <functional>

namespace znt::win32 {
namespace {

using win32test::WhenShown;

class Probe : public Form {
public:
    explicit Probe(HWND owner = nullptr) : Form("frmProbe") {
        Create(owner, 240, 100);
        AddLabel("lblText", 8, 8, 220, 20);
        AddButton("cmdOk", 60, 60, 80, 26);
        AddButton("cmdOther", 150, 60, 80, 26);
        SetDefaultButton("cmdOk");
    }
    void OnClick(const std::string& control) override {
        clicks.push_back(control);
        if (control == "cmdOk") EndModal();
    }
    void OnCancel() override {
        ++cancels;
        Form::OnCancel();
    }
    std::vector<std::string> clicks;
    int cancels = 0;
};

TEST(Win32Form, KeepsGreekTextsAndEndsModalLoopsEveryWay) {
    Probe owner;
    owner.Show();
    Probe probe(owner.Handle());
    const std::string greek = "Ενημέρωση πακέτων: «ΟΚ»";
    probe.SetText("lblText", greek);
    probe.SetCaption(greek);
    EXPECT_EQ(probe.Text("lblText"), greek);
    EXPECT_EQ(probe.Caption(), greek);
    EXPECT_EQ(FindForm("frmProbe"), &probe);
    EXPECT_EQ(probe.Control("nothing"), nullptr);

    bool ownerWaited = false;
    WhenShown([&] {
        ownerWaited = !IsWindowEnabled(owner.Handle());
        probe.PressEscape();
    });
    probe.RunModal();
    EXPECT_TRUE(ownerWaited);
    EXPECT_TRUE(IsWindowEnabled(owner.Handle()));
    EXPECT_EQ(probe.cancels, 1);

    WhenShown([&] { probe.PressCloseBox(); });
    probe.RunModal();
    EXPECT_EQ(probe.cancels, 2);

    // A disabled button ignores the click; an enabled one ends the loop.
    WhenShown([&] {
        probe.SetEnabled("cmdOther", false);
        probe.Click("cmdOther");
        probe.Click("cmdOk");
    });
    probe.RunModal();
    EXPECT_EQ(probe.clicks, std::vector<std::string>{"cmdOk"});
    EXPECT_FALSE(IsWindowVisible(probe.Handle()));
}

}  // namespace
}  // namespace znt::win32
