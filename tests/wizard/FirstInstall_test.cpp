// The wizard's steps over a scripted host: fetch results, source-dialog
// answers and the closing flag are set by each test; every call the wizard
// makes on the host and the window goes to one journal, in order.

#include "wizard/FirstInstall.h"

#include "OVShared/Modules/ProgressView.h"
#include "i18n/LanguagePack.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

using testsupport::TempDir;

namespace znt {
namespace {

using Journal = std::vector<std::string>;

// Host, window and progress window in one, writing to one journal.
class Script : public WizardHost, public WizardView, public ov::ProgressView {
public:
    struct Answer {
        bool internet;
        std::string folder;
    };

    Script() {
        for (int i : {306, 600, 602, 614, 650}) texts.text[i] = "t" + std::to_string(i);
    }

    // WizardHost
    const AppTexts& Texts() const override { return texts; }
    bool Closing() const override { return closing; }
    WizardSource Source() override { return {internet, folder, confirmed}; }
    ov::ProgressView& Progress() override { return *this; }
    void ShowSource() override {
        Wait("source");
        if (answers.empty() || closing) return;
        internet = answers.front().internet;
        folder = answers.front().folder;
        confirmed = true;
        answers.pop_front();
    }
    void ShowInstallSelection() override { Wait("install"); }
    bool FetchNameList() override { return Wait("names"), namesArrive; }
    bool FetchCatalogue() override { return Wait("catalogue"), catalogueArrives; }
    bool CatalogueUntrusted() const override { return untrusted; }
    void Message(const std::string& text, ov::MsgIcon icon) override {
        journal.push_back("message " + text + (icon == ov::MsgIcon::Critical ? " (error)" : ""));
    }
    bool ToggleLanguage() override { return false; }
    // WizardView
    void SetCaptions() override { journal.push_back("captions"); }
    void ShowStep(int step) override { journal.push_back("step " + std::to_string(step)); }
    void SetWizardEnabled(bool on) override { journal.push_back(on ? "enabled" : "disabled"); }
    // ov::ProgressView
    void SetLabel(const std::string& text) override { journal.push_back("label " + text); }
    void SetBar(int value) override { journal.push_back("bar " + std::to_string(value)); }
    void Show() override { journal.push_back("progress"); }
    void Close() override { journal.push_back("progress closed"); }
    bool CancelRequested() const override { return false; }

    Journal journal;
    AppTexts texts;
    bool closing = false;
    bool internet = true;
    std::string folder = "/none";
    bool confirmed = true;
    std::deque<Answer> answers;  // none left: the source dialog is cancelled
    bool namesArrive = true;
    bool catalogueArrives = true;
    bool untrusted = false;
    std::string closeDuring;  // the wait during which the user closes the wizard

private:
    void Wait(const std::string& what) {
        journal.push_back(what);
        if (closeDuring == what) closing = true;
    }
};

class WizardSteps : public ::testing::Test {
protected:
    // Loads the wizard, goes to `step` and empties the journal.
    void StartAt(int step) {
        wizard.Load();
        if (step == 2) wizard.Next();
        ASSERT_EQ(wizard.Step(), step);
        s.journal.clear();
    }

    Script s;
    FirstInstallWizard wizard{s, s};
};

TEST_F(WizardSteps, NameListFailureClosesTheProgressBeforeItsErrorAndNextRetries) {
    StartAt(1);
    s.namesArrive = false;
    s.internet = false;
    wizard.Next();
    EXPECT_EQ(s.journal, (Journal{"disabled", "label t614", "progress", "bar 5", "names", "bar 30",
                                  "progress closed", "enabled", "message t600 (error)"}));
    EXPECT_EQ(wizard.Step(), 1);

    s.journal.clear();
    s.namesArrive = true;
    wizard.Next();
    EXPECT_EQ(s.journal.back(), "step 2");
}

// A folder is usable once it holds packages.dat; the install dialog's end,
// whatever happened there, leads to the last page, which has no Next.
TEST_F(WizardSteps, FolderWithTheCatalogueIsFetchedAndLeadsToStepThree) {
    StartAt(2);
    TempDir cd;
    cd.write("SETUP/packages.dat", "1");
    s.answers = {{false, cd.path()}, {false, cd.path() + "/SETUP"}};
    wizard.Next();
    EXPECT_EQ(s.journal, (Journal{"disabled", "source", "message t306: " + cd.path() + " (error)",
                                  "source", "label t602", "progress", "bar 5", "catalogue",
                                  "bar 20", "install", "progress closed", "enabled", "step 3"}));
    s.journal.clear();
    wizard.Next();
    EXPECT_TRUE(s.journal.empty());
}

TEST_F(WizardSteps, CatalogueFailureShowsTheErrorAndStaysAtStepTwo) {
    StartAt(2);
    s.answers = {{true, "/x"}};
    s.catalogueArrives = false;
    wizard.Next();
    EXPECT_EQ(s.journal,
              (Journal{"disabled", "source", "label t602", "progress", "bar 5", "catalogue",
                       "bar 20", "progress closed", "enabled", "message t600 (error)"}));
    EXPECT_EQ(wizard.Step(), 2);

    // A catalogue refused by the installation's trusted key says so.
    s.journal.clear();
    s.answers = {{true, "/x"}};
    s.untrusted = true;
    wizard.Next();
    EXPECT_EQ(s.journal.back(), "message t650 (error)");
}

// The user closes the wizard while it waits: the action ends at once and
// leaves the window and the progress window alone.
TEST_F(WizardSteps, ClosingDuringAnyWaitEndsTheActionQuietly) {
    for (const char* wait : {"names", "source", "catalogue", "install"}) {
        s.closing = false;
        s.closeDuring = "";
        StartAt(wait == std::string("names") ? 1 : 2);
        s.closeDuring = wait;
        s.answers = {{true, "/x"}};
        wizard.Next();
        EXPECT_EQ(s.journal.back(), wait);
        EXPECT_EQ(wizard.Step(), wait == std::string("names") ? 1 : 2);
    }
}

}  // namespace
}  // namespace znt
