#include "OVShared/Modules/RunnerScript.h"

#include "OVShared/Platform/CommandLine.h"

#include <gtest/gtest.h>

using ov::AutopatchArguments;
using ov::BatchRunnerCommand;
using ov::BatchRunnerScript;
using ov::EscapeForBatch;
using ov::ShellQuote;
using ov::ShellRunnerScript;

TEST(BatchRunner, HasExactlyTheTwoLinesWithCrLf) {
    EXPECT_EQ(BatchRunnerScript(R"(C:\ovw2010\core)",
                                R"(-O C:\ovw2010\a.dll -N C:\c\a.dll -C Pack -L E)"),
              "CD C:\\ovw2010\\core\r\nAUTOPATCH.EXE -O C:\\ovw2010\\a.dll -N C:\\c\\a.dll -C Pack "
              "-L E\r\n");
}

TEST(BatchRunner, EscapesWhatCmdWouldTreatAsSyntax) {
    EXPECT_EQ(BatchRunnerScript(R"(C:\R&D\core)", "-C x & del * -L G"),
              "CD C:\\R^&D\\core\r\nAUTOPATCH.EXE -C x ^& del * -L G\r\n");
    EXPECT_EQ(EscapeForBatch("a|b<c>d^e%PATH%"), "a^|b^<c^>d^^e%%PATH%%");
}

TEST(BatchRunner, LeavesQuotedTextAloneExceptPercent) {
    // Between quotes cmd takes & literally and would keep a ^ as well.
    EXPECT_EQ(EscapeForBatch(R"("a&b %x%" & "c)"), R"("a&b %%x%%" ^& "c)");
    EXPECT_EQ(EscapeForBatch(R"(unclosed "x & y)"), R"(unclosed "x & y)");
}

TEST(BatchRunner, LineBreaksCannotStartANewCommand) {
    const char text[] = "name\r\ndel *\0x";
    EXPECT_EQ(EscapeForBatch(std::string(text, sizeof text - 1)), "name  del * x");
}

TEST(BatchRunner, RunsThroughCmdWithTheQuotedPathKeptWhole) {
    EXPECT_EQ(BatchRunnerCommand(R"(C:\Windows\system32\cmd.exe)", R"(C:\R&D\core\runner.bat)"),
              R"("C:\Windows\system32\cmd.exe" /d /s /c ""C:\R&D\core\runner.bat"")");
    EXPECT_EQ(BatchRunnerCommand("", R"(C:\a\runner.bat)"),
              R"("cmd.exe" /d /s /c ""C:\a\runner.bat"")");
}

TEST(ShellRunner, QuotesTheFolderAndEveryWord) {
    EXPECT_EQ(ShellQuote("it's"), R"('it'\''s')");
    EXPECT_EQ(ShellRunnerScript("/opt/R&D/core", "Autopatch.exe", " -C x & del *  -L E"),
              "cd -- '/opt/R&D/core' || exit 1\n"
              "exec './Autopatch.exe' '-C' 'x' '&' 'del' '*' '-L' 'E'\n");
    EXPECT_EQ(ShellRunnerScript("/a", "AUTOPATCH.EXE", ""),
              "cd -- '/a' || exit 1\nexec './AUTOPATCH.EXE'\n");
}

TEST(ShellRunner, SplitsTheArgumentsAsTheWindowsRuntimeWould) {
    EXPECT_EQ(ShellRunnerScript("/a", "Autopatch.exe",
                                R"(-O "/inst dir/bin/a.dll" -N C:\c\a.dll -C it's "x\"y" -L E)"),
              "cd -- '/a' || exit 1\n"
              "exec './Autopatch.exe' '-O' '/inst dir/bin/a.dll' '-N' 'C:\\c\\a.dll' '-C' "
              "'it'\\''s' 'x\"y' '-L' 'E'\n");
}

TEST(AutopatchArguments, QuotesPathsWithBlanksAndKeepsPlainLinesAsTheyWere) {
    EXPECT_EQ(AutopatchArguments(R"(C:\Apps\bin\a.dll)", R"(C:\Apps\core\cache\a.dll)", "Pack Name",
                                 true),
              R"(-O C:\Apps\bin\a.dll -N C:\Apps\core\cache\a.dll -C Pack Name -L E)");
    EXPECT_EQ(AutopatchArguments(R"(C:\My Apps\a.dll)", "/c/a.dll", "", false),
              R"(-O "C:\My Apps\a.dll" -N /c/a.dll -C  -L G)");
    // A quote in a path or a name stays text and never swallows "-L".
    EXPECT_EQ(ov::SplitCommandLine(
                  AutopatchArguments(R"(/inst dir/"q" b\)", "/new", R"(My "Pack  a\" %x%)", true)),
              (std::vector<std::string>{"-O", R"(/inst dir/"q" b\)", "-N", "/new", "-C", "My",
                                        R"("Pack)", R"(a\")", "%x%", "-L", "E"}));
}
