#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <type_traits>
#include <utility>

namespace platform {

/** Raised when the person has chosen not to wait any longer. */
using SkipFlag = std::atomic<bool>;

/** Says what the program is waiting for while slow work (a transfer) runs, and lets the person skip the wait. */
class IWaitWindow
{
public:
    using Work = std::function<void(const SkipFlag& skipped)>;

    virtual ~IWaitWindow() = default;
    /** Runs work, which must touch no window, and returns once it has ended. A wait longer than a moment shows
     *  text; skipping raises work's flag, and work then ends soon, as a failure. */
    virtual void run(const QString& text, const Work& work) = 0;
};

/** work(skipped) run under window, or inline where there is none; its result. */
template <typename Work> auto waitFor(IWaitWindow* window, const QString& text, Work&& work)
{
    if (!window) {
        const SkipFlag never{false};
        return work(never);
    }
    std::optional<std::invoke_result_t<Work&, const SkipFlag&>> result;
    window->run(text, [&](const SkipFlag& skipped) { result.emplace(work(skipped)); });
    return std::move(*result);
}

} // namespace platform
