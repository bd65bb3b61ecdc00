#pragma once

namespace platform {

/** Ends the process at once: no window closes, nothing is saved. Tests replace it with a recorder,
 *  so callers must return normally right after calling it. */
class IProcessExit
{
public:
    virtual ~IProcessExit() = default;
    /** Ends the process with the given exit code. */
    virtual void exitNow(int code) = 0;
};

/** The real one. */
class ProcessExit final : public IProcessExit
{
public:
    void exitNow(int code) override;
};

} // namespace platform
