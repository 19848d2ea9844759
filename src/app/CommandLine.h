#pragma once

// The program's command line, read once at the entry into LaunchOptions:
// the launch word, the "/ENG" and "/QUIET" switches and the value switches
// "/SERVER=", "/SOURCE=", "/LOG=" and "/PACKAGE=". Start-up, the windows and
// the unattended modes receive the parsed value, never the text.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace ov {
class RegistryStore;
}

namespace znt {

// The arguments after the program name joined by blanks; an argument that
// holds a blank is put in double quotes (a switch's value only: /SOURCE="a b").
std::string JoinArguments(int argc, const char* const* argv);
std::string JoinArguments(const std::vector<std::string>& args);

// The command line's first word (the text up to its first blank), in any
// case. Any other word, or none, opens the main window.
enum class LaunchWord { None, Setup, Update, FirstInstall, List, Uninstall, Usage };

// The update server's base address ("http://host[:port]", no trailing "/"):
// the /SERVER= switch, else the ZNT_UPDATE_SERVER environment variable, else
// the build's default. problem is set (and url left at the default) when the
// chosen value is not an http or https address.
struct ServerBase {
    std::string url;
    std::string problem;
};

// /PARALLEL=<n>: archive downloads at once, a whole number from 1 to
// kMaxParallel; problem is set (and count left empty) for any other value.
struct ParallelChoice {
    std::optional<int> count;
    std::string problem;
};

// What the program was asked to do. Words are separated by blanks except
// inside double quotes (as JoinArguments writes them); a word's quotes are
// not part of the argument it stands for. Switch names are compared without
// regard to case, and a value switch takes the first word that starts with it.
struct LaunchOptions {
    LaunchWord word = LaunchWord::None;
    // "/ENG" and "/QUIET" count only as whole words, never inside a switch
    // value or as the start of a longer word ("/ENGLISH").
    bool english = false;
    bool quiet = false;
    std::optional<std::string> sourceFolder;  // /SOURCE=, holding packages.dat and files\ .
    ServerBase server;
    std::optional<std::string> logPath;  // /LOG=; empty when the switch names no file
    // /PACKAGE=<code>[,<code>...]; nothing when absent, empty or malformed.
    std::optional<std::set<std::int32_t>> packageCodes;
    ParallelChoice parallel;
};

// Reads the command line (and ZNT_UPDATE_SERVER when there is no /SERVER=).
LaunchOptions ParseLaunchOptions(std::string_view commandLine);

// Archive downloads at once: /PARALLEL= when given and valid, else the
// setting "Downloads"/"Parallel" of the settings store when it is a number
// from 1 to kMaxParallel, else kDefaultParallel.
int ParallelDownloads(const LaunchOptions& options, const ov::RegistryStore& store);

// "ENGLISH.LNG" with /ENG, else "GREEK.LNG": the language a run starts in.
std::string StartLanguageSetting(const LaunchOptions& options);

// Normalises an http:// or https:// address with a host; nothing otherwise.
std::optional<std::string> ParseServerAddress(std::string_view text);

}  // namespace znt
