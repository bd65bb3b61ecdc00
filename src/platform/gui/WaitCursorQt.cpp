#include "WaitCursorQt.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

void WaitCursorQt::set()
{
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++m_depth;
}

void WaitCursorQt::restore()
{
    // Restoring twice must not pop a cursor someone else set.
    if (m_depth == 0)
        return;
    --m_depth;
    QGuiApplication::restoreOverrideCursor();
}

} // namespace platform
