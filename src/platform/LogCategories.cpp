#include "LogCategories.h"

namespace platform {

// QtFatalMsg: no level enabled until the diagnostic log's filter rules turn the "zt." areas on.
Q_LOGGING_CATEGORY(lcStart, "zt.start", QtFatalMsg)
Q_LOGGING_CATEGORY(lcServerList, "zt.serverlist", QtFatalMsg)
Q_LOGGING_CATEGORY(lcHttp, "zt.http", QtFatalMsg)
Q_LOGGING_CATEGORY(lcUpdate, "zt.update", QtFatalMsg)
Q_LOGGING_CATEGORY(lcDatabase, "zt.db", QtFatalMsg)
Q_LOGGING_CATEGORY(lcLogin, "zt.login", QtFatalMsg)
Q_LOGGING_CATEGORY(lcDecode, "zt.decode", QtFatalMsg)
Q_LOGGING_CATEGORY(lcUi, "zt.ui", QtFatalMsg)

} // namespace platform
