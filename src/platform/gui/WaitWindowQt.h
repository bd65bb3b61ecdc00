#pragma once

#include "WaitWindow.h"

namespace platform {

/** The real wait: the work on a thread of its own while this thread runs an event loop, so that the window
 *  paints and its "건너뛰기" button answers. */
class WaitWindowQt final : public IWaitWindow
{
public:
    /** How long a wait goes unannounced: an answer that comes at once shows no window. */
    static constexpr int ShowAfterMs = 1000;

    void run(const QString& text, const Work& work) override;
};

} // namespace platform
