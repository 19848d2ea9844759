#include "app/CommandLine.h"

#include "OVShared/Platform/AsciiText.h"
#include "install/InstallContext.h"
#include "settings/Settings.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <exception>
#include <utility>
#include <vector>

#ifndef ZNT_DEFAULT_SERVER
#define ZNT_DEFAULT_SERVER "http://updates.orvantis.com"
#endif

namespace znt {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// The words of a command line made by JoinArguments: blanks separate words
// except inside double quotes, so /SOURCE="a b" is one word.
std::vector<std::string_view> Words(std::string_view line) {
    std::vector<std::string_view> words;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && IsBlank(line[i])) ++i;
        const size_t start = i;
        bool quoted = false;
        for (; i < line.size() && (quoted || !IsBlank(line[i])); ++i) {
            if (line[i] == '"') quoted = !quoted;
        }
        if (i > start) words.push_back(line.substr(start, i - start));
    }
    return words;
}

// The word as the program was given it: without its quotes.
std::string Unquoted(std::string_view word) {
    std::string out;
    for (char c : word) {
        if (c != '"') out += c;
    }
    return out;
}

// True when a whole word equals the switch name ("/QUIET"), in any case.
bool HasSwitch(const std::vector<std::string_view>& words, std::string_view name) {
    const std::string key = ov::AsciiUpper(name);
    return std::any_of(words.begin(), words.end(),
                       [&key](std::string_view w) { return ov::AsciiUpper(Unquoted(w)) == key; });
}

// The rest of the first word that starts with a switch such as "/SERVER=",
// without its quotes; nothing when no word starts with the switch.
std::optional<std::string> SwitchValue(const std::vector<std::string_view>& words,
                                       std::string_view name) {
    const std::string key = ov::AsciiUpper(name);
    for (std::string_view word : words) {
        std::string argument = Unquoted(word);
        if (ov::AsciiUpper(argument).rfind(key, 0) == 0) return argument.substr(key.size());
    }
    return std::nullopt;
}

LaunchWord LaunchWordOf(std::string_view commandLine) {
    const std::string word = ov::AsciiUpper(commandLine.substr(0, commandLine.find(' ')));
    const std::pair<const char*, LaunchWord> known[] = {{"SETUP", LaunchWord::Setup},
                                                        {"UPDATE", LaunchWord::Update},
                                                        {"FIRSTINSTALL", LaunchWord::FirstInstall},
                                                        {"LIST", LaunchWord::List},
                                                        {"UNINSTALL", LaunchWord::Uninstall},
                                                        {"/?", LaunchWord::Usage}};
    for (const auto& [text, launch] : known) {
        if (word == text) return launch;
    }
    return LaunchWord::None;
}

// The /SERVER= value when given, else ZNT_UPDATE_SERVER, else the default.
ServerBase ServerBaseOf(std::optional<std::string> chosen) {
    ServerBase result{ZNT_DEFAULT_SERVER, {}};
    std::string origin = "/SERVER=";
    if (!chosen) {
        const char* env = std::getenv("ZNT_UPDATE_SERVER");
        if (env && *env) {
            chosen = env;
            origin = "ZNT_UPDATE_SERVER";
        }
    }
    if (!chosen) return result;
    if (auto url = ParseServerAddress(*chosen)) {
        result.url = *url;
    } else {
        result.problem = origin + " is not an http:// or https:// address: " + *chosen;
    }
    return result;
}

// The codes of /PACKAGE=<code>[,<code>...]: 32-bit integers, nothing else.
std::optional<std::set<std::int32_t>> PackageCodesOf(const std::optional<std::string>& value) {
    if (!value || value->empty()) return std::nullopt;
    std::set<std::int32_t> codes;
    size_t start = 0;
    while (start <= value->size()) {
        size_t end = std::min(value->find(',', start), value->size());
        const std::string item = value->substr(start, end - start);
        size_t used = 0;
        long long code = 0;
        try {
            code = std::stoll(item, &used);
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (used != item.size() || code < INT32_MIN || code > INT32_MAX) return std::nullopt;
        codes.insert(static_cast<std::int32_t>(code));
        start = end + 1;
    }
    return codes;
}

// A whole number from 1 to kMaxParallel, written with digits only.
std::optional<int> ParallelCount(std::string_view text) {
    if (text.empty() || text.size() > 2) return std::nullopt;
    int count = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        count = count * 10 + (c - '0');
    }
    if (count < 1 || count > kMaxParallel) return std::nullopt;
    return count;
}

ParallelChoice ParallelChoiceOf(const std::optional<std::string>& value) {
    ParallelChoice choice;
    if (!value) return choice;
    choice.count = ParallelCount(*value);
    if (!choice.count) {
        choice.problem =
            "/PARALLEL= takes a whole number from 1 to " + std::to_string(kMaxParallel);
    }
    return choice;
}

}  // namespace

int ParallelDownloads(const LaunchOptions& options, const ov::RegistryStore& store) {
    if (options.parallel.count) return *options.parallel.count;
    std::optional<std::string> stored = ReadSetting(store, "Downloads", "Parallel");
    std::optional<int> count = stored ? ParallelCount(*stored) : std::nullopt;
    return count ? *count : kDefaultParallel;
}

std::string JoinArguments(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return JoinArguments(args);
}

std::string JoinArguments(const std::vector<std::string>& args) {
    std::string line;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (i > 0) line += ' ';
        if (arg.find_first_of(" \t") == std::string::npos) {
            line += arg;
            continue;
        }
        // A switch keeps its name outside the quotes: /SOURCE="a b".
        size_t eq = arg.find('=');
        size_t split = (arg[0] == '/' && eq != std::string::npos) ? eq + 1 : 0;
        line += arg.substr(0, split) + "\"" + arg.substr(split) + "\"";
    }
    return line;
}

std::optional<std::string> ParseServerAddress(std::string_view text) {
    const std::string lower = ov::AsciiLower(text);
    size_t schemeEnd;
    if (lower.rfind("http://", 0) == 0) {
        schemeEnd = 7;
    } else if (lower.rfind("https://", 0) == 0) {
        schemeEnd = 8;
    } else {
        return std::nullopt;
    }
    std::string url(text);
    while (url.size() > schemeEnd && url.back() == '/') url.pop_back();
    if (url.size() == schemeEnd) return std::nullopt;
    for (char c : url) {
        auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '"' || c == '\\') return std::nullopt;
    }
    return url;
}

LaunchOptions ParseLaunchOptions(std::string_view commandLine) {
    const std::vector<std::string_view> words = Words(commandLine);
    LaunchOptions options;
    options.word = LaunchWordOf(commandLine);
    options.english = HasSwitch(words, "/ENG");
    options.quiet = HasSwitch(words, "/QUIET");
    options.sourceFolder = SwitchValue(words, "/SOURCE=");
    options.server = ServerBaseOf(SwitchValue(words, "/SERVER="));
    options.logPath = SwitchValue(words, "/LOG=");
    options.packageCodes = PackageCodesOf(SwitchValue(words, "/PACKAGE="));
    options.parallel = ParallelChoiceOf(SwitchValue(words, "/PARALLEL="));
    return options;
}

std::string StartLanguageSetting(const LaunchOptions& options) {
    return options.english ? "ENGLISH.LNG" : "GREEK.LNG";
}

}  // namespace znt
