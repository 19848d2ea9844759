#include "OVShared/Platform/LocalTime.h"

namespace ov {

std::tm LocalTime(std::time_t t) {
    std::tm local{};
    ::localtime_r(&t, &local);
    return local;
}

}  // namespace ov
