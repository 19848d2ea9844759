#pragma once

// The unattended modes, for scripts and machines without a display:
//   LIST               prints the install and uninstall lists (ListMode.h);
//   UPDATE /QUIET      installs every package of the install list;
//   UNINSTALL /QUIET /PACKAGE=<code>[,<code>...]
//                      removes the listed installed packages;
//   /?                 prints the usage text.
// What they share: exit statuses, texts that work without a language pack,
// messages to a stream, and the end of a run. Their preparation (source,
// lock, recovery, the catalogue in a folder of the run's own, the lists) is
// a chain of steps in UnattendedSteps.h.

#include "OVShared/Platform/MessageBox.h"
#include "app/CommandLine.h"
#include "i18n/LanguagePack.h"
#include "install/RowText.h"  // OneRowText, for the modes' rows

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

namespace znt {

// Exit statuses of the unattended modes (and of a window mode without a display).
constexpr int kExitDone = 0;
constexpr int kExitFetchFailed = 1;  // the catalogue could not be fetched or read whole
constexpr int kExitBadCommandLine = 2;
constexpr int kExitOutputFailed = 3;    // standard output could not be written; no display
constexpr int kExitNothingToDo = 4;     // nothing to install, or no package matched
constexpr int kExitFileFailed = 5;      // a file was not fetched, extracted, placed or removed
constexpr int kExitRestartNeeded = 6;   // the program's own new copy waits for the next start
constexpr int kExitAlreadyRunning = 7;  // another copy works on this installation

// The installation and language of an unattended run.
struct UnattendedRun {
    std::string appFolder;  // the parent of the program's folder
    bool english = false;
    AppTexts texts;     // the pack's, with English fallbacks where it has none
    std::string title;  // text 1
};
UnattendedRun UnattendedRunOf(const LaunchOptions& options, const std::string& programPath);

// A path below the installation folder as a row shows it: relative to the
// folder, control characters replaced.
std::string ShownName(const UnattendedRun& run, const std::string& path);

// Writes each message as one line of UTF-8 text; questions get their first
// answer, input boxes none.
class StreamMessageSink : public ov::MessageSink {
public:
    explicit StreamMessageSink(std::ostream& err) : err_(err) {}
    ov::MsgResult Show(const std::string& text, const std::string& title, ov::MsgIcon icon,
                       ov::MsgButtons buttons) override;
    std::optional<std::string> InputBox(const std::string& prompt,
                                        const std::string& title) override;

private:
    std::ostream& err_;
};

// status once out has taken every line; kExitOutputFailed, after
// "<mode>: the <what> could not be written to standard output." on err,
// when it has not.
int FlushedStatus(std::ostream& out, std::ostream& err, std::string_view mode,
                  std::string_view what, int status);

// The modes. Each takes the parsed command line and the running program's
// path (in <installation>\core\), prints its rows to out and its messages
// to err, and returns one of the statuses above. A mode may throw;
// RunUnattendedMode ends such a run with a failure, never with an abort.

// Rows: "FETCHED\t<archive>\t<bytes>\t<rate>\t<time left>",
// "FAILED\t<archive>", "INSTALLED\t<file>", "NOT-INSTALLED\t<file>",
// "PATCHER\t<file>", "STAGED\t<file>", "SKIPPED\t<file>", files relative to
// the installation, a failure's reason as a last column; first, for an
// install cut short, "RECOVERED\t<file>" and "NOT-RECOVERED\t<file>\t<reason>".
int RunUnattendedUpdate(const LaunchOptions& options, const std::string& programPath,
                        std::ostream& out, std::ostream& err);

// Rows: "REMOVED\t<file>", "NOT-REMOVED\t<file>\t<reason>", "SKIPPED\t<file>\t<reason>".
int RunUnattendedRemoval(const LaunchOptions& options, const std::string& programPath,
                         std::ostream& out, std::ostream& err);

// The usage text of zntr.exe /?.
// ZNT_UNATTENDED=1 in the environment: the windowed program's message boxes
// go to standard error and are answered with their first button, so that a
// script's run never waits for a user.
bool BoxesOnConsole();

std::string UsageText();

// True when the command line names a mode that needs no window (LIST,
// UPDATE /QUIET, UNINSTALL /QUIET, /?): the one RunUnattendedMode runs.
bool IsUnattendedMode(const LaunchOptions& options);

// Runs the mode the command line names when it needs no window (LIST,
// UPDATE /QUIET, UNINSTALL /QUIET, /?) and returns its exit status;
// nothing for the others. A mode that throws ends with "<mode>: <what>" on
// err and status 1 (LIST) or 5.
std::optional<int> RunUnattendedMode(const LaunchOptions& options, const std::string& programPath,
                                     std::ostream& out, std::ostream& err);

}  // namespace znt
