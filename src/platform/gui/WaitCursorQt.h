#pragma once

#include "WaitCursor.h"

namespace platform {

/** The real hourglass: an application-wide override cursor. */
class WaitCursorQt final : public IWaitCursor
{
public:
    void set() override;
    void restore() override;

private:
    int m_depth = 0;
};

} // namespace platform
