#include "OVShared/Platform/LocalTime.h"

namespace ov {

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_s(&local, &t);
    return local;
}

}  // namespace ov
