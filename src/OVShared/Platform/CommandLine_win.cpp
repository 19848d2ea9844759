#include "OVShared/Platform/CommandLine.h"

#include <windows.h>
#include <shellapi.h>

#include "OVShared/Platform/WinSupport.h"

namespace ov {

std::vector<std::string> ProgramArguments(int argc, const char* const* argv) {
    std::vector<std::string> args;
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i) args.push_back(Narrow(wide[i]));
        ::LocalFree(wide);
        return args;
    }
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return args;
}

void UseUtf8Console() { ::SetConsoleOutputCP(CP_UTF8); }

}  // namespace ov
