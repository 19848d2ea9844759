#pragma once

// The process routines of modOVCoreFunctions: running a command
// and waiting for it, the patcher through its runner script, and the shell's
// "Open". The last two report a missing file with text 4 of the shared-pack
// section "modOVCoreFunctions".

#include "OVShared/Platform/MessageBox.h"
#include "OVShared/Platform/Process.h"
#include "i18n/SharedPack.h"

#include <string>
#include <string_view>
#include <vector>

namespace ov {

// The core section table: loaded from the shared pack on the first
// EnsureLoaded of a run, and only then, whether the section was found or not.
class CoreSectionTable {
public:
    static constexpr const char* kSectionName = "modOVCoreFunctions";
    static constexpr int kMissingFileText = 4;

    // pack may be null: the section then counts as absent.
    explicit CoreSectionTable(const znt::SharedPackIndex* pack);

    void EnsureLoaded();
    bool attempted() const { return attempted_; }
    bool found() const { return found_; }

    // Text 4 of the section; "File not found: <path>" when the section or
    // its text 4 is absent, so that the message is never an empty box.
    std::string MissingFileText(std::string_view path) const;

private:
    const znt::SharedPackIndex* pack_;
    bool attempted_ = false;
    bool found_ = false;
    znt::SectionTexts texts_;
};

// Starts the command and polls it every 100 ms, yielding to the event loop
// between polls, until it has ended. A command that cannot be started ends
// after one poll. Returns the exit code (kNotStarted when nothing started).
int RunAndWait(std::string_view commandLine, WindowStyle style);
int RunAndWait(const std::vector<std::string>& argv, WindowStyle style);

// Runs the patcher through a runner script beside it and waits for it.
// Windows: runner.bat ("CD <folder>", "AUTOPATCH.EXE <arguments>") run by the
// command interpreter; POSIX: runner.sh run by /bin/sh, starting the file of
// that folder named AUTOPATCH.EXE in any case. Arguments are escaped so that
// they stay text (RunnerScript.h). A missing updater shows the core message
// with the error icon and nothing runs; a script that cannot be written
// runs nothing either.
void RunAutopatch(std::string_view updaterPath, std::string_view arguments, CoreSectionTable& texts,
                  MessageSink& sink);

// The shell's "Open" of file with parameters (working folder "C:\" where
// there is one). A missing file shows the core message with the error icon.
void OpenWithShell(std::string_view file, std::string_view parameters, CoreSectionTable& texts,
                   MessageSink& sink);

}  // namespace ov
