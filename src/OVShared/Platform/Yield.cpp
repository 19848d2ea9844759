#include "OVShared/Platform/Yield.h"

#include <utility>

namespace ov {
namespace {
std::function<void()>& Hook() {
    static std::function<void()> hook;
    return hook;
}
}  // namespace

void SetYieldHook(std::function<void()> hook) { Hook() = std::move(hook); }

void YieldToEventLoop() {
    if (auto& hook = Hook()) hook();
}

}  // namespace ov
