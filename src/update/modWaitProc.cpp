#include "modWaitProc.h"

#include "Processes.h"

namespace modWaitProc {

void RunAndWait(const QString& file, qintptr, const QString& parameters, const QString& directory, bool hidden,
                bool minimised)
{
    const platform::WindowShow show = hidden      ? platform::WindowShow::Hidden
                                      : minimised ? platform::WindowShow::MinimizedNoActivate
                                                  : platform::WindowShow::Normal;
    QStringList arguments;
    if (!parameters.isEmpty())
        arguments.append(parameters);
    platform::runAndWait(file, arguments, directory, show);
}

} // namespace modWaitProc
