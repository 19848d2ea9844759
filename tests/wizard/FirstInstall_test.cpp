// The wizard's steps over a scripted host: fetch results, source-dialog
// answers and the closing flag are set by each test; every call the wizard
// makes on the host and the window goes to one journal, in order.

#include "wizard/FirstInstall.h"

#include "OVShared/Modules/ProgressView.h"
#include "i18n/LanguagePack.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

using testsupport::TempDir;

namespace znt {
namespace {

using Journal = std::vector<std::string>;

class JournalProgress : public ov::ProgressView {
public:
    explicit JournalProgress(Journal& j) : j_(j) {}
    void SetLabel(const std::string& text) override { j_.push_back("label " + text); }
    void SetBar(int value) override { j_.push_back("bar " + std::to_string(value)); }
    void Show() override { j_.push_back("progress"); }
    void Close() override { j_.push_back("progress closed"); }
    bool CancelRequested() const override { return false; }

private:
    Journal& j_;
};

class ScriptedHost : public WizardHost {
public:
    struct Answer {
        bool internet;
        std::string folder;
    };

    explicit ScriptedHost(Journal& j) : j_(j), progress_(j) {
        for (int i : {306, 600, 602, 614}) texts.text[i] = "t" + std::to_string(i);
    }
    const AppTexts& Texts() const override { return texts; }
    bool Closing() const override { return closing; }
    WizardSource Source() override { return {internet, folder, confirmed}; }
    ov::ProgressView& Progress() override { return progress_; }
    void ShowSource() override {
        j_.push_back("source");
        if (answers.empty() || closeDuring == "source") return Wait("source");
        internet = answers.front().internet;
        folder = answers.front().folder;
        confirmed = true;
        answers.pop_front();
    }
    void ShowInstallSelection() override { Wait("install"); }
    bool FetchNameList() override {
        Wait("names");
        return namesArrive;
    }
    bool FetchCatalogue() override {
        Wait("catalogue");
        return catalogueArrives;
    }
    void Message(const std::string& text, ov::MsgIcon icon) override {
        j_.push_back("message " + text + (icon == ov::MsgIcon::Critical ? " (error)" : ""));
    }
    bool ToggleLanguage() override { return false; }

    AppTexts texts;
    bool closing = false;
    bool internet = true;
    std::string folder = "/none";
    bool confirmed = true;
    std::deque<Answer> answers;  // none left: the source dialog is cancelled
    bool namesArrive = true;
    bool catalogueArrives = true;
    std::string closeDuring;  // the wait during which the user closes the wizard

private:
    void Wait(const std::string& what) {
        if (what != "source") j_.push_back(what);
        if (closeDuring == what) closing = true;
    }

    Journal& j_;
    JournalProgress progress_;
};

class JournalView : public WizardView {
public:
    explicit JournalView(Journal& j) : j_(j) {}
    void SetCaptions() override { j_.push_back("captions"); }
    void ShowStep(int step) override { j_.push_back("step " + std::to_string(step)); }
    void SetWizardEnabled(bool on) override { j_.push_back(on ? "enabled" : "disabled"); }

private:
    Journal& j_;
};

class WizardSteps : public ::testing::Test {
protected:
    // Loads the wizard, goes to `step` and empties the journal.
    void StartAt(int step) {
        wizard.Load();
        if (step == 2) wizard.Next();
        ASSERT_EQ(wizard.Step(), step);
        journal.clear();
    }

    Journal journal;
    ScriptedHost host{journal};
    JournalView view{journal};
    FirstInstallWizard wizard{host, view};
};

TEST_F(WizardSteps, NameListFailureKeepsStepOneUsableAndNextRetries) {
    wizard.Load();
    EXPECT_EQ(journal, (Journal{"captions", "step 1"}));
    journal.clear();
    host.namesArrive = false;
    host.internet = false;
    wizard.Next();
    EXPECT_EQ(journal, (Journal{"disabled", "label t614", "progress", "bar 5", "names", "bar 30",
                                "progress closed", "enabled", "message t600 (error)"}));
    EXPECT_EQ(wizard.Step(), 1);

    journal.clear();
    host.namesArrive = true;
    host.internet = true;
    wizard.Next();
    EXPECT_EQ(journal, (Journal{"disabled", "label t602", "progress", "bar 5", "names", "bar 30",
                                "progress closed", "enabled", "step 2"}));
    EXPECT_EQ(wizard.Step(), 2);
}

TEST_F(WizardSteps, FolderWithoutCatalogueReopensTheSourceDialogUntilInternetIsChosen) {
    StartAt(2);
    TempDir empty;
    host.answers = {{false, "/no/cd"}, {false, empty.path()}, {true, "/x"}};
    wizard.Next();
    EXPECT_EQ(journal, (Journal{"disabled", "source", "message t306: /no/cd (error)", "source",
                                "message t306: " + empty.path() + " (error)", "source",
                                "label t602", "progress", "bar 5", "catalogue",
                                "bar 20", "install", "progress closed", "enabled", "step 3"}));
    EXPECT_EQ(wizard.Step(), 3);

    journal.clear();
    wizard.Next();
    EXPECT_TRUE(journal.empty()) << "step 3 has no Next";
}

TEST_F(WizardSteps, FolderWithTheCatalogueIsFetchedWithTheInternetLabel) {
    StartAt(2);
    TempDir cd;
    cd.write("SETUP/packages.dat", "1");
    host.answers = {{false, cd.path() + "/SETUP"}};
    wizard.Next();
    EXPECT_EQ(journal, (Journal{"disabled", "source", "label t602", "progress", "bar 5",
                                "catalogue", "bar 20", "install", "progress closed",
                                "enabled", "step 3"}));
}

TEST_F(WizardSteps, CancelledSourceAfterAWrongFolderStaysAtStepTwoWithoutFetching) {
    StartAt(2);
    host.answers = {{false, "/no/cd"}};
    wizard.Next();
    EXPECT_EQ(journal, (Journal{"disabled", "source", "message t306: /no/cd (error)", "source",
                                "enabled"}));
    EXPECT_EQ(wizard.Step(), 2);
    EXPECT_FALSE(host.confirmed);
}

TEST_F(WizardSteps, CatalogueFailureShowsTheErrorAndStaysAtStepTwo) {
    StartAt(2);
    host.answers = {{true, "/x"}};
    host.catalogueArrives = false;
    wizard.Next();
    EXPECT_EQ(journal, (Journal{"disabled", "source", "label t602", "progress", "bar 5",
                                "catalogue", "bar 20", "progress closed", "enabled",
                                "message t600 (error)"}));
    EXPECT_EQ(wizard.Step(), 2);
}

// The user closes the wizard while it waits: the action ends at once and
// leaves the window and the progress window alone.
TEST_F(WizardSteps, ClosingDuringAnyWaitEndsTheActionQuietly) {
    host.closeDuring = "names";
    StartAt(1);
    host.namesArrive = false;
    wizard.Next();
    EXPECT_EQ(journal.back(), "names");
    EXPECT_EQ(wizard.Step(), 1);

    for (const char* wait : {"source", "catalogue", "install"}) {
        host.closing = false;
        host.closeDuring = "";
        host.namesArrive = true;
        StartAt(2);
        host.closeDuring = wait;
        host.answers = {{true, "/x"}};
        wizard.Next();
        EXPECT_EQ(journal.back(), wait);
        EXPECT_EQ(wizard.Step(), 2) << wait;
    }
}

}  // namespace
}  // namespace znt
