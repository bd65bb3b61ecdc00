#include "ProcessExit.h"

#include "LogCategories.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void ProcessExit::exitNow(int code)
{
    qCInfo(lcStart) << "the run ends here, exit code" << code;
    std::fflush(nullptr);
    std::_Exit(code);
}

} // namespace platform
