#pragma once

namespace platform {

/** The hourglass pointer over the program's windows. */
class IWaitCursor
{
public:
    virtual ~IWaitCursor() = default;
    /** Shows the hourglass. */
    virtual void set() = 0;
    /** Goes back to the default pointer. */
    virtual void restore() = 0;
};

/** A wait cursor that does nothing, for code run without windows. */
class NoWaitCursor final : public IWaitCursor
{
public:
    void set() override {}
    void restore() override {}
};

} // namespace platform
