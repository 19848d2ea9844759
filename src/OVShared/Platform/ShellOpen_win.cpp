#include "OVShared/Platform/ShellOpen.h"

#include "OVShared/Platform/WinSupport.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <shellapi.h>

#include <cstdint>

namespace ov {

bool ShellOpen(std::string_view file, std::string_view verb, std::string_view parameters,
               std::string_view folder, WindowStyle show) {
    std::wstring wfile = Widen(file);
    std::wstring wverb = Widen(verb);
    std::wstring wparams = Widen(parameters);
    std::wstring wfolder = Widen(folder);
    HINSTANCE result =
        ShellExecuteW(nullptr, wverb.empty() ? nullptr : wverb.c_str(), wfile.c_str(),
                      wparams.empty() ? nullptr : wparams.c_str(),
                      wfolder.empty() ? nullptr : wfolder.c_str(), ShowCommand(show));
    return reinterpret_cast<std::intptr_t>(result) > 32;
}

}  // namespace ov
