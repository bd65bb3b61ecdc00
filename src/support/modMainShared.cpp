#include "modMainShared.h"

namespace modMain {

QString UpdateServerHost;
QString DbServerHost;

} // namespace modMain
