#pragma once

// The unattended modes that change the installation, for scripts and
// machines without a display:
//   UPDATE /QUIET      installs every package of the install list;
//   UNINSTALL /QUIET /PACKAGE=<code>[,<code>...]
//                      removes the listed installed packages.
// Both take /ENG, /SERVER= and /SOURCE= as LIST does, hold the installation's
// single-instance lock, print one line per archive or file to out and
// messages to err, and return an exit status of Unattended.h.

#include <optional>
#include <ostream>
#include <string>

namespace znt {

// Lines on out: "FETCHED\t<archive>\t<bytes>", "FAILED\t<archive>",
// "INSTALLED\t<file>", "NOT-INSTALLED\t<file>", "PATCHER\t<file>",
// "STAGED\t<file>", files relative to the installation; first, for an
// install cut short, "RECOVERED\t<file>" and "NOT-RECOVERED\t<file>\t<reason>".
int RunQuietUpdate(const std::string& commandLine, const std::string& programPath,
                   std::ostream& out, std::ostream& err);

// Lines on out: "REMOVED\t<file>", "NOT-REMOVED\t<file>", "SKIPPED\t<file>".
int RunQuietRemoval(const std::string& commandLine, const std::string& programPath,
                    std::ostream& out, std::ostream& err);

// True for "UPDATE /QUIET" and "UNINSTALL /QUIET" (any case, any order of switches).
bool IsQuietUpdate(const std::string& commandLine);
bool IsQuietRemoval(const std::string& commandLine);

// The usage text of zntr.exe /?.
std::string UsageText();

// Runs the mode the command line names when it needs no window (LIST, the
// quiet modes, /?) and returns its exit status; nothing for the others.
std::optional<int> RunWindowlessMode(const std::string& commandLine,
                                     const std::string& programPath, std::ostream& out,
                                     std::ostream& err);

}  // namespace znt
