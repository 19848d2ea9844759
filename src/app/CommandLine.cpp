#include "app/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#ifndef ZNT_DEFAULT_SERVER
#define ZNT_DEFAULT_SERVER "http://updates.orvantis.com"
#endif

namespace znt {
namespace {

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string JoinArguments(int argc, const char* const* argv) {
    std::string line;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i] ? argv[i] : "";
        if (i > 1) line += ' ';
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
    return Upper(commandLine.substr(0, commandLine.find(' ')));
}

bool HasEnglishSwitch(std::string_view commandLine) {
    return Upper(commandLine).find("/ENG") != std::string::npos;
}

std::optional<std::string> SwitchValue(std::string_view commandLine, std::string_view name) {
    const std::string upper = Upper(commandLine);
    const std::string key = Upper(name);
    size_t at = upper.find(key);
    // The switch must start the command line or follow a blank.
    while (at != std::string::npos && at > 0 && !IsBlank(commandLine[at - 1])) {
        at = upper.find(key, at + 1);
    }
    if (at == std::string::npos) return std::nullopt;
    size_t pos = at + key.size();
    if (pos < commandLine.size() && commandLine[pos] == '"') {
        size_t close = commandLine.find('"', pos + 1);
        if (close == std::string_view::npos) close = commandLine.size();
        return std::string(commandLine.substr(pos + 1, close - pos - 1));
    }
    size_t end = pos;
    while (end < commandLine.size() && !IsBlank(commandLine[end])) ++end;
    return std::string(commandLine.substr(pos, end - pos));
}

std::optional<std::string> ParseServerAddress(std::string_view text) {
    std::string lower(text);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
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
