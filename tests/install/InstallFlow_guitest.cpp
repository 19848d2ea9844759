// Install from the main window through the real windows, as a user would:
// the source dialog, the selection, the download window and the finished
// message, against a loopback update server.

#include "OVShared/Platform/FileSystem.h"
#include "OVShared/Platform/Yield.h"
#include "app/AppState.h"
#include "ui/qt/MainForm.h"
#include "ui/qt/QtAppDialogs.h"
#include "catalogue/CatalogueWriter.h"
#include "i18n/TextNumbers.h"
#include "install/DownloadView.h"
#include "support/AppFakes.h"
#include "support/LoopbackServer.h"
#include "support/QtTestApp.h"
#include "support/RecordingMessageSink.h"
#include "support/TempDir.h"
#include "support/TestStore.h"
#include "support/ZipBuilder.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <map>

namespace znt {
namespace {

using testsupport::ReadFile;

class InstallFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::EnsureQApplication();
        if (!apptest::CopyStagedInstallation(install)) GTEST_SKIP() << "no staged build";
        ov::SetYieldHook([] { QCoreApplication::processEvents(); });
        Publish("Alpha", 10, "bin\\alpha.txt", "alpha v2");
        Publish("Beta", 20, "data\\sub\\beta.txt", std::string(5000, 'b'));
        std::string bytes, error;
        ASSERT_TRUE(FormatCatalogue(catalogue, bytes, error)) << error;
        server.Serve("/ovw2010/packages.dat", bytes);
    }
    void TearDown() override { ov::SetYieldHook(nullptr); }

    void Publish(const std::string& name, int code, const std::string& file,
                 const std::string& content) {
        std::string leaf = file.substr(file.find_last_of('\\') + 1);
        std::string zip = archivetest::WriteZip(work.file(leaf + ".zip"), {{leaf, content}});
        std::string archive = *ov::ReadWholeFile(zip);
        server.Serve("/ovw2010/files/" + leaf + ".zip", archive);
        PackageEntry& p = catalogue.entries.emplace_back();
        p.NameEnglish = p.NameGreek = name;
        p.Code = code;
        PackageFileEntry& f = p.Files.emplace_back();
        f.FileName = file;
        f.CheckMode = 1;
        f.SizeBytes = static_cast<std::int32_t>(content.size());
        f.ArchiveSize = static_cast<std::int32_t>(archive.size());
        f.ArchiveName = leaf + ".zip";
        p.FileCount = 1;
    }

    // Answers each modal window by its name while the command runs.
    void AnswerWindows(std::map<std::string, std::function<void(QWidget*)>> answers) {
        auto* timer = new QTimer(form.get());
        timer->setInterval(10);
        QObject::connect(timer, &QTimer::timeout, [this, answers]() mutable {
            QWidget* w = QApplication::activeModalWidget();
            if (!w) return;
            std::string name = w->objectName().toStdString();
            if (seen.empty() || seen.back() != name) seen.push_back(name);
            auto it = answers.find(name);
            if (it == answers.end()) return;
            auto answer = std::move(it->second);
            answers.erase(it);
            answer(w);
        });
        timer->start();
    }
    static void Click(QWidget* w, const char* name) { w->findChild<QPushButton*>(name)->click(); }

    testsupport::TempDir install;
    testsupport::TempDir work;
    testsupport::TempDir config;
    testsupport::LoopbackServer server;
    Packages catalogue;
    testsupport::TestStoreLocation storeAt{config};
    ov::RegistryStore store{storeAt.path()};
    testsupport::RecordingMessageSink sink;
    QtAppDialogs dialogs;
    std::unique_ptr<AppState> state;
    std::unique_ptr<MainForm> form;
    std::vector<std::string> seen;
};

TEST_F(InstallFlowTest, InstallFromTheServerPlacesTheSelectedPackages) {
    state = std::make_unique<AppState>(ParseLaunchOptions("/ENG /SERVER=" + server.Url()),
                                       install.file("core/zntr.exe"), sink, store);
    form = std::make_unique<MainForm>(*state, dialogs);
    ASSERT_TRUE(form->Load().showMainWindow);
    form->show();
    AnswerWindows({{"frmZNT_Source", [](QWidget* w) { Click(w, "cmdOk"); }},
                   {"frmZNT_Install", [](QWidget* w) {
                        Click(w, "cmdSelectAll");
                        Click(w, "cmdUpdate");
                    }}});
    QTest::mouseClick(form->findChild<QWidget*>("cmdInstall"), Qt::LeftButton);

    EXPECT_EQ(ReadFile(install.file("bin/alpha.txt")), "alpha v2");
    EXPECT_EQ(ReadFile(install.file("data/sub/beta.txt")), std::string(5000, 'b'));
    EXPECT_EQ(seen.front(), "frmZNT_Source");
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].text, state->texts[kTextInstallFinished]);
    EXPECT_TRUE(std::filesystem::is_empty(install.file("core/cache")));
    EXPECT_TRUE(form->findChild<QWidget*>("cmdInstall")->isEnabled());
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace znt
