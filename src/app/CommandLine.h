#pragma once

// The program's command line as one text, as the system hands it to the
// program: the launch word, the "/ENG" switch and the value switches
// "/SERVER=" and "/SOURCE=".

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace znt {

// The arguments after the program name joined by blanks; an argument that
// holds a blank is put in double quotes (a switch's value only: /SOURCE="a b").
std::string JoinArguments(int argc, const char* const* argv);
std::string JoinArguments(const std::vector<std::string>& args);

// The command line, upper-cased, up to its first blank.
std::string LaunchWord(std::string_view commandLine);

// Words: blanks separate them except inside double quotes (as JoinArguments
// writes them); a word's quotes are not part of the argument it stands for.

// True when some word is "/ENG" (without regard to case). "/ENG" inside a
// switch value or as the start of a longer word ("/ENGLISH") does not count.
bool HasEnglishSwitch(std::string_view commandLine);

// True when a whole word equals the switch name ("/QUIET"), in any case.
bool HasSwitch(std::string_view commandLine, std::string_view name);

// The value of the first word that starts with a switch such as "/SERVER="
// (name compared without regard to case): the rest of that word without its
// quotes. Nothing when no word starts with the switch.
std::optional<std::string> SwitchValue(std::string_view commandLine, std::string_view name);

// The update server's base address ("http://host[:port]", no trailing "/"):
// the /SERVER= switch, else the ZNT_UPDATE_SERVER environment variable, else
// the build's default. problem is set (and url left at the default) when the
// chosen value is not an http or https address.
struct ServerBase {
    std::string url;
    std::string problem;
};
ServerBase UpdateServerBase(std::string_view commandLine);

// Normalises an http:// or https:// address with a host; nothing otherwise.
std::optional<std::string> ParseServerAddress(std::string_view text);

}  // namespace znt
