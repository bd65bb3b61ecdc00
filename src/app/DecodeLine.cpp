#include "DecodeLine.h"

namespace decoder {

void DecodeLineAppend(QByteArrayView, QByteArray&) {}

QByteArray DecodeLine(QByteArrayView line)
{
    QByteArray out;
    DecodeLineAppend(line, out);
    return out;
}

} // namespace decoder
