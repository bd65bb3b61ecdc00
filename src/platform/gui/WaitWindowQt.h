#pragma once

#include "AppInfo.h"
#include "WaitWindow.h"

#include <utility>

namespace platform {

/** The real wait: the work on a thread of its own while this thread runs an event loop, so that the window
 *  paints and its "건너뛰기" button answers. */
class WaitWindowQt final : public IWaitWindow
{
public:
    /** How long a wait goes unannounced: an answer that comes at once shows no window. */
    static constexpr int ShowAfterMs = 1000;

    /** A window captioned title that shows once a wait has lasted showAfterMs (0: at once). */
    explicit WaitWindowQt(int showAfterMs = ShowAfterMs, QString title = QString::fromUtf16(AppTitle))
        : m_showAfterMs(showAfterMs), m_title(std::move(title))
    {
    }

    void run(const QString& text, const Work& work) override;

private:
    int m_showAfterMs;
    QString m_title;
};

} // namespace platform
