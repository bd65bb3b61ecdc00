// The JSON reader on any text, the writer on what it read, and the reader again on the writer's text.
#include "json.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString decoded = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    // An exactly sized copy without a terminator, so any read past the end is caught.
    const qsizetype n = decoded.size();
    std::unique_ptr<QChar[]> exact(new QChar[size_t(n > 0 ? n : 1)]);
    std::memcpy(static_cast<void*>(exact.get()), decoded.constData(), size_t(n) * sizeof(QChar));
    const QString text = QString::fromRawData(exact.get(), n);

    const json::JsonValue first = json::ParseJson(text);
    check(first.isEmpty() || first.isObject() || first.isArray());
    // The log grows with the input, never with its square.
    check(json::Diagnostics().size() <= 512 * n + 4096);

    const QString written = json::ToJsonText(first);
    const json::JsonValue second = json::ParseJson(written);
    // Written objects and arrays start with their bracket, so they read back as the same kind.
    check(second.kind() == first.kind());
    json::ToJsonText(second);
    return 0;
}
