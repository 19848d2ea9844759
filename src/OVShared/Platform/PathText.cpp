#include "OVShared/Platform/PathText.h"

namespace ov {

std::string ParentFolder(std::string_view path) {
    size_t last = path.find_last_of("\\/");
    return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last));
}

}  // namespace ov
