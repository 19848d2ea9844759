#pragma once

// Runs a job written as a chain of small named steps over one context. A
// step returns nothing to let the chain go on, or a result that ends it.
//
// A step that throws has not done its work, so it never counts as done:
// each step in a chain's table says what its throw means. A step marked
// optional is skipped and the chain goes on (the start-up's window setup,
// where a missing icon or caption must not stop the program); any other
// ends the chain with the table's result, as if the step had returned it
// (the install run, where every later step relies on the earlier ones).

#include <exception>
#include <optional>
#include <span>

namespace ov {

template <typename Context, typename Result>
struct ChainStep {
    std::optional<Result> (*run)(Context&);
    // What a throw from run means: nothing to skip the step, else the end.
    std::optional<Result> onThrow;
};

// Runs the steps in order; the result of the first step that ends the
// chain, or nothing when every step let it go on. When a throw ends the
// chain, stopped (if given) is called first, so the chain can say so. It
// runs while the exception is being handled: a rethrow (`throw;`) inside it
// tells what was thrown.
template <typename Context, typename Result>
std::optional<Result> RunChain(std::span<const ChainStep<Context, Result>> steps, Context& c,
                               void (*stopped)(Context&) = nullptr) {
    for (const ChainStep<Context, Result>& step : steps) {
        std::optional<Result> end;
        try {
            end = step.run(c);
        } catch (const std::exception&) {
            end = step.onThrow;
            if (end && stopped) stopped(c);
        }
        if (end) return end;
    }
    return std::nullopt;
}

}  // namespace ov
