#include "Description.h"

#include "catalogue/Catalogue.h"

#include <charconv>
#include <map>

namespace publish {
namespace {

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

bool ParseInt(std::string_view text, std::int32_t& value) {
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

class Parser {
public:
    explicit Parser(Description& out) : out_(out) {}

    // Empty on success, else the reason.
    std::string Line(std::string_view line) {
        line = Trim(line);
        if (line.empty() || line.front() == '#') return {};
        if (line == "[package]") return StartPackage();
        if (line == "[names]") return StartNames();
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) return "expected \"key = value\" or a [section]";
        std::string key(Trim(line.substr(0, eq)));
        std::string_view value = Trim(line.substr(eq + 1));
        return inNames_ ? Name(key, value) : Field(key, value);
    }

private:
    std::string StartPackage() {
        out_.packages.emplace_back();
        inNames_ = false;
        return {};
    }

    std::string StartNames() {
        inNames_ = true;
        return {};
    }

    std::string Name(const std::string& key, std::string_view value) {
        std::int32_t n = 0;
        if (!ParseInt(key, n) || n < 1 || n > kNameLines)
            return "name line number must be 1 to 108";
        out_.names[static_cast<size_t>(n) - 1] = std::string(value);
        return {};
    }

    std::string Field(const std::string& key, std::string_view value) {
        if (out_.packages.empty()) return "\"" + key + "\" outside a [package] section";
        PackageSpec& p = out_.packages.back();
        const std::map<std::string, std::string*> texts = {
            {"version", &p.version},
            {"name.en", &p.nameEnglish},
            {"name.gr", &p.nameGreek},
            {"description.en", &p.descriptionEnglish},
            {"description.gr", &p.descriptionGreek}};
        if (auto it = texts.find(key); it != texts.end()) {
            *it->second = std::string(value);
            return {};
        }
        if (key == "code") return Number(value, p.code);
        if (key == "reserved-number") return Number(value, p.reservedNumber);
        if (key == "reserved-flag") return Flag(value, p.reservedFlag);
        if (key == "file") return File(value, p);
        return "unknown key \"" + key + "\"";
    }

    static std::string Number(std::string_view value, std::int32_t& field) {
        return ParseInt(value, field) ? std::string() : "not a 32-bit whole number";
    }

    static std::string Flag(std::string_view value, bool& field) {
        if (value != "true" && value != "false") return "expected true or false";
        field = value == "true";
        return {};
    }

    // "file = version bin\a.dll" or "file = size help\gr\intro.htm"
    static std::string File(std::string_view value, PackageSpec& p) {
        size_t blank = value.find_first_of(" \t");
        if (blank == std::string_view::npos) return "expected \"file = version|size <path>\"";
        std::string_view mode = value.substr(0, blank);
        if (mode != "version" && mode != "size") return "check mode must be version or size";
        std::string name(Trim(value.substr(blank)));
        for (char& c : name) {
            if (c == '/') c = '\\';
        }
        if (!znt::IsSafeFileName(name)) return "unsafe or empty file name \"" + name + "\"";
        p.files.push_back({name, mode == "size" ? CheckBy::Size : CheckBy::Version});
        return {};
    }

    Description& out_;
    bool inNames_ = false;
};

}  // namespace

bool ParseDescription(std::string_view text, Description& out, std::string& error) {
    out = Description{};
    Parser parser(out);
    size_t start = 0;
    for (int number = 1; start <= text.size(); ++number) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string problem = parser.Line(text.substr(start, end - start));
        if (!problem.empty()) {
            error = "line " + std::to_string(number) + ": " + problem;
            return false;
        }
        start = end + 1;
    }
    return true;
}

}  // namespace publish
