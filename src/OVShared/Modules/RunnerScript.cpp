#include "OVShared/Modules/RunnerScript.h"

#include "OVShared/Platform/CommandLine.h"

namespace ov {

std::string EscapeForBatch(std::string_view text) {
    std::string out;
    bool quoted = false;
    for (char c : text) {
        if (c == '\r' || c == '\n' || c == '\0') {
            out += ' ';
        } else if (c == '%') {
            out += "%%";
        } else if (c == '"') {
            quoted = !quoted;  // cmd takes everything between quotes literally
            out += c;
        } else if (!quoted && std::string_view("&|<>^").find(c) != std::string_view::npos) {
            out += '^';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

std::string BatchRunnerScript(std::string_view folder, std::string_view arguments) {
    return "CD " + EscapeForBatch(folder) + "\r\n" + "AUTOPATCH.EXE " + EscapeForBatch(arguments) +
           "\r\n";
}

std::string BatchRunnerCommand(std::string_view comspec, std::string_view batchPath) {
    std::string interpreter = comspec.empty() ? std::string("cmd.exe") : std::string(comspec);
    return "\"" + interpreter + "\" /d /s /c \"\"" + std::string(batchPath) + "\"\"";
}

std::string ShellQuote(std::string_view word) {
    std::string out = "'";
    for (char c : word) {
        if (c == '\'') {
            out += "'\\''";
        } else if (c != '\0') {
            out += c;
        }
    }
    out += '\'';
    return out;
}

std::string ShellRunnerScript(std::string_view folder, std::string_view programName,
                              std::string_view arguments) {
    std::string script = "cd -- " + ShellQuote(folder) + " || exit 1\n";
    script += "exec " + ShellQuote("./" + std::string(programName));
    for (const auto& word : SplitCommandLine(arguments)) script += " " + ShellQuote(word);
    script += "\n";
    return script;
}

std::string AutopatchArguments(std::string_view target, std::string_view newFile,
                               std::string_view packageName, bool english) {
    std::string name;
    for (const auto& word : SplitAtBlanks(packageName)) {
        name += (name.empty() ? "" : " ") + QuoteArgument(word);
    }
    return "-O " + QuoteArgument(target) + " -N " + QuoteArgument(newFile) + " -C " + name +
           (english ? " -L E" : " -L G");
}

}  // namespace ov
