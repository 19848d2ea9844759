#include "OVShared/Modules/ManifestWriter.h"

#include <windows.h>
#include <commctrl.h>

#ifdef _MSC_VER
#pragma comment(lib, "comctl32.lib")
#pragma warning(disable : 4996)  // GetVersionExA is deprecated, but the codes are defined by it
#endif

namespace ov {

int WindowsVersionCode() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info)) return 0;
    return VersionCodeFor(static_cast<int>(info.dwPlatformId),
                          static_cast<int>(info.dwMajorVersion),
                          static_cast<int>(info.dwMinorVersion));
}

void InitCommonControlsInternet() {
    INITCOMMONCONTROLSEX init = {};
    init.dwSize = sizeof init;
    init.dwICC = ICC_INTERNET_CLASSES;  // 0x800
    InitCommonControlsEx(&init);
}

}  // namespace ov
