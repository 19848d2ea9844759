#include "archive/CGUnzipFiles.h"
#include "archive/UnzipFixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>

using archivetest::ListTree;
using archivetest::Member;
using archivetest::UnzipFixture;

namespace {

using Defaults = UnzipFixture;
using Prompts = UnzipFixture;

TEST_F(Defaults, NewObjectRecreatesFoldersAndOverwritesWithoutAsking) {
    EXPECT_EQ(unzip.ExtractNewer() + unzip.SpaceToUnderScore() + unzip.PromptOverwrite() +
                  unzip.WriteToStdOut() + unzip.TestZip() + unzip.ExtractList() +
                  unzip.ExtractOnlyNewer() + unzip.DisplayComment() + unzip.ConvertCRtoCRLF() +
                  unzip.Verbose() + unzip.Privilege(),
              0);
    EXPECT_EQ(unzip.MessageLevel(), 2);
    EXPECT_EQ(unzip.HonorDirectories() + unzip.OverWriteFiles() + unzip.CaseSensitive(), 3);
    EXPECT_EQ(unzip.ZipFileName() + unzip.ExtractDir(), "");

    tmp.write("out/b.txt", "old");
    std::string zip = Zip({{"sub/deeper/a.txt", "alpha"}, {"b.txt", "new"}, {"empty/", ""}});
    EXPECT_EQ(unzip.Unzip(zip, out), 0);
    EXPECT_EQ(Out("sub/deeper/a.txt"), "alpha");
    EXPECT_EQ(Out("b.txt"), "new");
    EXPECT_TRUE(std::filesystem::is_directory(out + "/empty"));
    EXPECT_TRUE(sink.messages.empty());
    EXPECT_EQ(unzip.ZipFileName(), zip);
}

TEST_F(Defaults, EmptyArgumentsKeepTheArchiveAndTheTargetFolder) {
    std::string zip = Zip({{"a.txt", "alpha"}});
    unzip.SetExtractDir(out);
    unzip.SetZipFileName(zip);
    EXPECT_EQ(unzip.Unzip(zip, ""), 0);
    EXPECT_EQ(unzip.ExtractDir(), out);
    std::filesystem::remove(out + "/a.txt");
    EXPECT_EQ(unzip.Unzip(), 0);
    EXPECT_EQ(Out("a.txt"), "alpha");
}

TEST_F(Defaults, PrintedMessagesCollectWithCrLf) {
    unzip.SetMessageLevel(0);
    ASSERT_EQ(unzip.Unzip(Zip({{"a.txt", "x"}, {"b.txt", "y"}}), out), 0);
    std::string text = unzip.GetLastMessage();
    EXPECT_NE(text.find("  inflating: a.txt\r\n  inflating: b.txt\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n"), text.find("\r\n") + 1);
    unzip.SetMessageLevel(2);
    ASSERT_EQ(unzip.Unzip(), 0);
    EXPECT_EQ(unzip.GetLastMessage(), "");  // reset per extraction
}

TEST_F(Prompts, PasswordIsAskedOnceAndAnEmptyAnswerStopsFurtherPrompts) {
    std::string zip = Zip({Member("a.txt", "A").Password("pw"), Member("b.txt", "B").Password("pw"),
                           Member("c.txt", "C").Password("pw")});
    sink.inputs = {std::string()};
    EXPECT_EQ(unzip.Unzip(zip, out), 82);
    ASSERT_EQ(sink.prompts.size(), 1u);
    EXPECT_EQ(sink.prompts[0].substr(0, 26), "Please Enter The Password!");
    EXPECT_FALSE(std::filesystem::exists(out + "/a.txt"));

    sink.prompts.clear();
    sink.inputs = {std::string("pw")};
    EXPECT_EQ(unzip.Unzip(), 0);
    EXPECT_EQ(sink.prompts.size(), 1u);
    EXPECT_EQ(Out("c.txt"), "C");

    sink.prompts.clear();
    std::filesystem::remove_all(out);
    sink.inputs = {std::string("wrong"), std::nullopt};  // a wrong one, then Cancel
    EXPECT_EQ(unzip.Unzip(), 82);
    EXPECT_EQ(sink.prompts.size(), 2u);
    EXPECT_TRUE(ListTree(out).empty());
}

TEST_F(Prompts, ReplaceAnswersYesNoAndCancel) {
    std::string zip = Zip({{"a", "new"}, {"b", "new"}, {"c", "new"}, {"d", "new"}});
    for (const char* f : {"out/a", "out/b", "out/c"}) tmp.write(f, "old");
    unzip.SetOverWriteFiles(0);
    EXPECT_EQ(unzip.Unzip(zip, out), 0);  // no prompt asked for: keep all
    EXPECT_EQ(Out("a") + Out("b") + Out("c") + Out("d"), "oldoldoldnew");
    EXPECT_TRUE(sink.messages.empty());

    unzip.SetPromptOverwrite(1);
    sink.answers = {ov::MsgResult::No, ov::MsgResult::Yes, ov::MsgResult::Cancel};
    EXPECT_EQ(unzip.Unzip(), 0);
    EXPECT_EQ(Out("a") + Out("b") + Out("c"), "oldnewold");
    ASSERT_EQ(sink.messages.size(), 3u);  // after Cancel on c, d (existing now) is not asked
    EXPECT_EQ(sink.messages[0].text, "Overwrite a?");
    EXPECT_EQ(sink.messages[0].title, "VBUnZip32 - File Already Exists!");
    EXPECT_EQ(sink.messages[0].icon, ov::MsgIcon::Exclamation);
    EXPECT_EQ(sink.messages[0].buttons, ov::MsgButtons::YesNoCancel);
}

}  // namespace
