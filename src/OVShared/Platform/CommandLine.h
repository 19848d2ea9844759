#pragma once

// Command lines as Windows programs receive them. Process start-up takes a
// command line on every platform; on POSIX it is split here with the rules
// of the Microsoft C runtime, so that "\" stays a plain character and
// quoted paths with blanks keep together.

#include <string>
#include <string_view>
#include <vector>

namespace ov {

// Words of a command line: blanks and tabs separate words outside double
// quotes; 2n backslashes before a quote give n backslashes and the quote
// toggles quoting, 2n+1 give n backslashes and a literal quote; other
// backslashes are literal.
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// One word quoted so that SplitCommandLine gives it back unchanged.
std::string QuoteArgument(std::string_view word);

// The words quoted and joined with single blanks.
std::string JoinCommandLine(const std::vector<std::string>& words);

// The program's arguments after its name, in UTF-8. On Windows they are
// read from the wide command line (argv holds the ANSI code page's texts).
std::vector<std::string> ProgramArguments(int argc, const char* const* argv);

// Makes the console show the program's UTF-8 output as it is (Windows
// consoles start with an OEM code page); nothing elsewhere.
void UseUtf8Console();

// The text split at blanks and tabs (a run counts as one); no quoting rules.
std::vector<std::string> SplitAtBlanks(std::string_view text);

}  // namespace ov
