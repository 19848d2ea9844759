// The install selection dialog and its uninstall twin driven as a user would
// over a temporary installation: the list built from the catalogue, the
// summary, the selection buttons and the confirmation.

#include "OVShared/Modules/ProgressView.h"
#include "OVShared/Platform/FileSystem.h"
#include "catalogue/CatalogueWriter.h"
#include "i18n/TextNumbers.h"
#include "support/CatalogueEntries.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "ui/UiDriver.h"

#include <gtest/gtest.h>

namespace uitest {
namespace {

using namespace znt;

PackageEntry Package(const std::string& name, std::int32_t code, PackageFileEntry file) {
    PackageEntry p;
    p.NameEnglish = name;
    p.NameGreek = name + " (el)";
    p.DescriptionEnglish = "About " + name;
    p.Version = "1.0";
    p.Code = code;
    p.Files.push_back(std::move(file));
    p.FileCount = 1;
    return p;
}

class SelectionDialogScenario : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureToolkit();
        texts.text[kTextInstallTitle] = "Install or update packages";
        texts.text[kTextUninstallTitle] = "Remove packages";
        texts.text[kTextTotalSize] = "Total size";
        texts.text[610] = "All up to date";
        // Two packages out of date (missing files), one current.
        install.write("current.txt", std::string(10, 'x'));
        catalogue.entries.push_back(Package("Alpha", 1, testsupport::SizedFile("a.txt", 5, 2048)));
        catalogue.entries.push_back(Package("Beta", 2, testsupport::SizedFile("b.txt", 5, 3072)));
        catalogue.entries.push_back(
            Package("Gamma", 3, testsupport::SizedFile("current.txt", 10, 9)));
    }

    SelectionDriver& Open(SelectionKind kind = SelectionKind::Install,
                          std::function<void()> run = {}) {
        std::string bytes, error;
        EXPECT_TRUE(FormatCatalogue(catalogue, bytes, error)) << error;
        EXPECT_TRUE(ov::WriteFileAtomic(install.path() + "\\packages.dat", bytes));
        SelectionContext c{install.path(), packages, listMap, true, texts, sink, progress};
        dialog = OpenSelectionDialog(c, kind, std::move(run));
        return *dialog;
    }

    testsupport::TempDir install;
    Packages catalogue;
    Packages packages;
    ListMap listMap;
    AppTexts texts;
    testsupport::RecordingMessageSink sink;
    ov::NullProgressView progress;
    std::unique_ptr<SelectionDriver> dialog;
};

TEST_F(SelectionDialogScenario, ListsOutOfDatePackagesAndKeepsTheSummaryCurrent) {
    SelectionDriver& d = Open();
    bool shown = false;
    d.RunModal([&] {
        shown = true;
        ASSERT_EQ(d.RowCount(), 2);
        EXPECT_EQ(d.Row(0), "Alpha v1.0 [2 Kb]");
        EXPECT_EQ(d.Row(1), "Beta v1.0 [3 Kb]");
        EXPECT_EQ(d.Caption(), "Install or update packages");
        EXPECT_EQ(d.Text("lblSize"), "Total size: 0 Kb");
        EXPECT_FALSE(d.Enabled("cmdUpdate"));
        EXPECT_EQ(d.Text("lblInfo"), "About Alpha");  // the first row is current

        d.Click("cmdSelectAll");
        EXPECT_EQ(d.Text("lblSize"), "Total size: 5 Kb");
        EXPECT_TRUE(d.Enabled("cmdUpdate"));
        d.Click("cmdSelectInvert");
        EXPECT_EQ(d.Text("lblSize"), "Total size: 0 Kb");
        EXPECT_FALSE(d.Enabled("cmdUpdate"));
        d.ClickRow(1);
        EXPECT_TRUE(d.RowSelected(1));
        EXPECT_EQ(d.Text("lblSize"), "Total size: 3 Kb");
        EXPECT_EQ(d.Text("lblInfo"), "About Beta");
        d.Click("cmdSelectNone");
        EXPECT_FALSE(d.RowSelected(1));
        EXPECT_FALSE(d.Enabled("cmdUpdate"));
        EXPECT_EQ(d.Text("lblInfo"), "About Beta");  // current, though not selected
        d.PressEscape();
        EXPECT_FALSE(d.IsOpen());
    });
    EXPECT_TRUE(shown);
}

TEST_F(SelectionDialogScenario, ConfirmMarksTheSelectedRowsRunsAndClosesAndTheCloseBoxRunsNothing) {
    bool ran = false;
    auto run = [&] {
        ran = true;
        EXPECT_FALSE(packages.Package(1).Marked);
        EXPECT_TRUE(packages.Package(2).Marked);
        EXPECT_FALSE(packages.Package(3).Marked);  // current: never marked
    };
    SelectionDriver& closed = Open(SelectionKind::Install, run);
    closed.RunModal([&] {
        closed.ClickRow(1);
        closed.PressCloseBox();
    });
    EXPECT_FALSE(ran);  // closed without confirming: nothing runs
    EXPECT_FALSE(closed.IsOpen());

    SelectionDriver& d = Open(SelectionKind::Install, run);
    d.RunModal([&] {
        d.ClickRow(1);
        d.Click("cmdUpdate");
    });
    EXPECT_TRUE(ran);
    EXPECT_FALSE(d.IsOpen());
}

TEST_F(SelectionDialogScenario, EmptyListTellsTheUserAndNeverShows) {
    catalogue.entries.resize(0);
    catalogue.entries.push_back(Package("Gamma", 3, testsupport::SizedFile("current.txt", 10, 9)));
    bool shown = false;
    Open().RunModal([&] { shown = true; });
    EXPECT_FALSE(shown);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, "All up to date");
}

// The twin: installed packages with their installed size; confirming runs
// the removal inline with the five buttons disabled, for listed packages only.
TEST_F(SelectionDialogScenario, UninstallTwinListsInstalledSizesAndRemovesWithButtonsDisabled) {
    install.write("a.txt", std::string(3000, 'a'));
    std::vector<bool> enabledDuringRun;
    SelectionDriver* twin = nullptr;
    twin = &Open(SelectionKind::Uninstall, [&] {
        for (const char* name :
             {"cmdClose", "cmdSelectAll", "cmdSelectInvert", "cmdSelectNone", "cmdUpdate"}) {
            enabledDuringRun.push_back(twin->Enabled(name));
        }
        EXPECT_TRUE(packages.Package(1).Marked);
        EXPECT_FALSE(packages.Package(3).Marked);  // installed but not selected
    });
    twin->RunModal([&] {
        ASSERT_EQ(twin->RowCount(), 2);
        EXPECT_EQ(twin->Row(0), "Alpha v1.0 [3 Kb]");
        EXPECT_EQ(twin->Row(1), "Gamma v1.0 [0 Kb]");
        EXPECT_EQ(twin->Caption(), "Remove packages");
        twin->ClickRow(0);
        twin->Click("cmdUpdate");
    });
    EXPECT_EQ(enabledDuringRun, std::vector<bool>(5, false));
    EXPECT_TRUE(twin->Enabled("cmdClose"));
    EXPECT_FALSE(twin->IsOpen());
}

}  // namespace
}  // namespace uitest
