#include "app/CommandLine.h"

#include "OVShared/Platform/AsciiText.h"

#include <algorithm>
#include <cstdlib>
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

}  // namespace

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

std::string LaunchWord(std::string_view commandLine) {
    return ov::AsciiUpper(commandLine.substr(0, commandLine.find(' ')));
}

bool HasSwitch(std::string_view commandLine, std::string_view name) {
    const std::vector<std::string_view> words = Words(commandLine);
    const std::string key = ov::AsciiUpper(name);
    return std::any_of(words.begin(), words.end(),
                       [&key](std::string_view w) { return ov::AsciiUpper(Unquoted(w)) == key; });
}

bool HasEnglishSwitch(std::string_view commandLine) { return HasSwitch(commandLine, "/ENG"); }

std::optional<std::string> SwitchValue(std::string_view commandLine, std::string_view name) {
    const std::string key = ov::AsciiUpper(name);
    for (std::string_view word : Words(commandLine)) {
        std::string argument = Unquoted(word);
        if (ov::AsciiUpper(argument).rfind(key, 0) == 0) return argument.substr(key.size());
    }
    return std::nullopt;
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

ServerBase UpdateServerBase(std::string_view commandLine) {
    ServerBase result{ZNT_DEFAULT_SERVER, {}};
    std::optional<std::string> chosen = SwitchValue(commandLine, "/SERVER=");
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

}  // namespace znt
