#include "OVShared/Modules/ManifestWriter.h"

namespace ov {

// Only Windows reads application manifests.
int WindowsVersionCode() { return 0; }

void InitCommonControlsInternet() {}

}  // namespace ov
