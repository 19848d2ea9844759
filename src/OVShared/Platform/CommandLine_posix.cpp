#include "OVShared/Platform/CommandLine.h"

namespace ov {

std::vector<std::string> ProgramArguments(int argc, const char* const* argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i] ? argv[i] : "");
    return args;
}

void UseUtf8Console() {}

}  // namespace ov
