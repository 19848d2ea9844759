#pragma once

// The two-line scripts through which RunAutopatch starts the patcher, and
// the quoting that keeps catalogue texts in them plain text: a package name
// such as "x & del *" or "$(touch pwned)" reaches the patcher as words and is
// never run as a command.

#include <string>
#include <string_view>

namespace ov {

// A text for a line of a Windows batch file: outside double quotes
// & | < > ^ are escaped with ^; % becomes %% everywhere (inside quotes too);
// line breaks and NUL become blanks, so the text stays on its line.
std::string EscapeForBatch(std::string_view text);

// runner.bat: "CD <folder>" and "AUTOPATCH.EXE <arguments>", each ended by
// CR LF, both escaped with EscapeForBatch.
std::string BatchRunnerScript(std::string_view folder, std::string_view arguments);

// The command line that runs a batch file through the command interpreter
// (comspec, e.g. C:\Windows\system32\cmd.exe), with /s so that the quoted
// path keeps "&" and the like as plain characters.
std::string BatchRunnerCommand(std::string_view comspec, std::string_view batchPath);

// A word in single quotes for /bin/sh ("'" written as '\''); NUL dropped.
std::string ShellQuote(std::string_view word);

// runner.sh, LF line ends: "cd -- '<folder>' || exit 1" and
// "exec './<program>' '<word>'...", the argument text split with the Windows
// rules (SplitCommandLine) into the words the patcher receives on Windows, so
// a quoted path with blanks stays one word.
std::string ShellRunnerScript(std::string_view folder, std::string_view programName,
                              std::string_view arguments);

// The patcher's argument line: "-O <target> -N <newFile> -C <name> -L E"
// ("-L G" when not english). The paths are quoted when they hold blanks or
// quotes (QuoteArgument); each blank-separated word of the package name is
// quoted likewise, so the patcher receives the name's words as they are and a
// quote in a catalogue text cannot swallow "-L". Plain texts are not touched.
std::string AutopatchArguments(std::string_view target, std::string_view newFile,
                               std::string_view packageName, bool english);

}  // namespace ov
