#include "DecodeDriver.h"

namespace decoder {

QString OutputPathFor(const QString& inputPath)
{
    return inputPath.left(inputPath.size() - 4) + QStringLiteral(".sql");
}

support::VbError DecodeFile(const QString&, const Progress&)
{
    return {};
}

} // namespace decoder
