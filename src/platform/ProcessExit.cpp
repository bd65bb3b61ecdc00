#include "ProcessExit.h"

#include <cstdio>
#include <cstdlib>

namespace platform {

void ProcessExit::exitNow(int code)
{
    std::fflush(nullptr);
    std::_Exit(code);
}

} // namespace platform
