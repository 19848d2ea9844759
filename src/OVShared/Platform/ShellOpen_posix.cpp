#include "OVShared/Platform/ShellOpen.h"

#include "OVShared/Platform/CommandLine.h"
#include "OVShared/Platform/FileSystem.h"

#include <unistd.h>

namespace ov {

bool ShellOpen(std::string_view file, std::string_view, std::string_view parameters,
               std::string_view folder, WindowStyle show) {
    if (file.empty()) return false;
    std::string path = NativePath(file);
    if (IsRegularFile(path) && ::access(path.c_str(), X_OK) == 0) {
        std::vector<std::string> argv{path};
        for (auto& word : SplitAtBlanks(parameters)) argv.push_back(std::move(word));
        return StartDetached(argv, show, folder);
    }
    return StartDetached({"xdg-open", path}, show);
}

}  // namespace ov
