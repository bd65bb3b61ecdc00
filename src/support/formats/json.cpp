#include "json.h"

#include "VbError.h"
#include "cStringBuilder.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <unordered_map>

using platform::makeVbError;
using platform::VbError;
namespace vberr = platform::vberr;

namespace json {

// ---------------------------------------------------------------------------------------------------------
// Decimal

namespace {

/** A 96-bit unsigned magnitude as three 32-bit limbs, least significant first. */
using Limbs = std::array<std::uint32_t, 3>;

/** limbs = limbs * 10 + digit; false when the result needs more than 96 bits. */
bool mulAdd10(Limbs& limbs, std::uint32_t digit)
{
    std::uint64_t carry = digit;
    for (auto& limb : limbs) {
        const std::uint64_t t = std::uint64_t(limb) * 10 + carry;
        limb = static_cast<std::uint32_t>(t);
        carry = t >> 32;
    }
    return carry == 0;
}

/** limbs = limbs / 10; returns the remainder. */
std::uint32_t divMod10(Limbs& limbs)
{
    std::uint64_t rem = 0;
    for (int i = 2; i >= 0; --i) {
        const std::uint64_t t = (rem << 32) | limbs[size_t(i)];
        limbs[size_t(i)] = static_cast<std::uint32_t>(t / 10);
        rem = t % 10;
    }
    return static_cast<std::uint32_t>(rem);
}

bool isZero(const Limbs& limbs)
{
    return limbs[0] == 0 && limbs[1] == 0 && limbs[2] == 0;
}

constexpr int MaxScale = 28;
constexpr qsizetype MaxDigits = 29; // 2^96 - 1 has 29 digits

[[noreturn]] void throwConversion()
{
    throw makeVbError(vberr::TypeMismatch, QStringLiteral("json"));
}

[[noreturn]] void throwOverflow()
{
    throw makeVbError(vberr::Overflow, QStringLiteral("json"));
}

bool isDigit(QChar c)
{
    return c.unicode() >= u'0' && c.unicode() <= u'9';
}

} // namespace

Decimal Decimal::fromText(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    // Significant digits without leading zeros; the value is digits * 10^exponent.
    std::string digits;
    qint64 exponent = 0;
    bool anyDigit = false;
    bool point = false;
    for (; i < n; ++i) {
        const QChar c = text[i];
        if (isDigit(c)) {
            anyDigit = true;
            if (point)
                --exponent;
            if (!digits.empty() || c != u'0')
                digits.push_back(char(c.unicode()));
        } else if (c == u'.') {
            if (point)
                throwConversion();
            point = true;
        } else {
            break;
        }
    }
    if (!anyDigit)
        throwConversion();
    if (i < n) {
        if (text[i] != u'e' && text[i] != u'E')
            throwConversion();
        ++i;
        bool negativeExponent = false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            negativeExponent = text[i] == u'-';
            ++i;
        }
        if (i == n)
            throwConversion();
        qint64 value = 0;
        for (; i < n; ++i) {
            if (!isDigit(text[i]))
                throwConversion();
            value = std::min<qint64>(value * 10 + (text[i].unicode() - u'0'), 1'000'000'000'000);
        }
        exponent += negativeExponent ? -value : value;
    }

    while (!digits.empty() && digits.back() == '0') {
        digits.pop_back();
        ++exponent;
    }
    Decimal result;
    if (digits.empty())
        return result; // zero, never negative
    const qsizetype length = qsizetype(digits.size());
    if (length + exponent > MaxDigits)
        throwOverflow();

    // The largest scale up to 28 at which the rounded value still fits in 96 bits.
    for (qint64 scale = std::clamp<qint64>(-exponent, 0, MaxScale); scale >= 0; --scale) {
        const qint64 shift = exponent + scale; // N = round(digits * 10^shift)
        Limbs limbs{};
        bool fits = true;
        if (shift >= 0) {
            for (char d : digits)
                fits = fits && mulAdd10(limbs, std::uint32_t(d - '0'));
            for (qint64 k = 0; k < shift && fits; ++k)
                fits = mulAdd10(limbs, 0);
        } else {
            const qint64 kept = length + shift;
            if (kept > MaxDigits)
                continue;
            for (qint64 k = 0; k < kept && fits; ++k)
                fits = mulAdd10(limbs, std::uint32_t(digits[size_t(k)] - '0'));
            if (kept >= 0 && fits) {
                // Half to even; digits has no trailing zeros, so anything after the first dropped digit is
                // a non-zero rest.
                const int dropped = digits[size_t(kept)] - '0';
                const bool rest = kept + 1 < length;
                const bool odd = (limbs[0] & 1u) != 0;
                if (dropped > 5 || (dropped == 5 && (rest || odd))) {
                    std::uint64_t carry = 1;
                    for (size_t l = 0; l < 3; ++l) {
                        const std::uint64_t t = std::uint64_t(limbs[l]) + carry;
                        limbs[l] = static_cast<std::uint32_t>(t);
                        carry = t >> 32;
                    }
                    fits = carry == 0;
                }
            }
        }
        if (!fits)
            continue;
        // Keep the shortest scale: no trailing fraction zeros.
        qint64 finalScale = scale;
        while (finalScale > 0 && !isZero(limbs)) {
            Limbs probe = limbs;
            if (divMod10(probe) != 0)
                break;
            limbs = probe;
            --finalScale;
        }
        if (isZero(limbs))
            return result;
        result.m_lo = limbs[0];
        result.m_mid = limbs[1];
        result.m_hi = limbs[2];
        result.m_scale = static_cast<std::uint8_t>(finalScale);
        result.m_negative = negative;
        return result;
    }
    throwOverflow();
}

Decimal Decimal::fromInt(qint64 value)
{
    Decimal result;
    const std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    result.m_lo = static_cast<std::uint32_t>(magnitude);
    result.m_mid = static_cast<std::uint32_t>(magnitude >> 32);
    result.m_negative = value < 0;
    return result;
}

QString Decimal::toText() const
{
    Limbs limbs{m_lo, m_mid, m_hi};
    std::array<char16_t, 40> buffer{};
    size_t at = buffer.size();
    int produced = 0;
    do {
        buffer[--at] = char16_t(u'0' + divMod10(limbs));
        ++produced;
    } while (!isZero(limbs) || produced <= m_scale);
    // produced > scale: at least one digit stands before the point.
    QString text;
    text.reserve(produced + 2);
    if (m_negative)
        text += u'-';
    const int integerDigits = produced - m_scale;
    text += QStringView(buffer.data() + at, integerDigits);
    if (m_scale > 0) {
        text += u'.';
        text += QStringView(buffer.data() + at + integerDigits, m_scale);
    }
    return text;
}

// ---------------------------------------------------------------------------------------------------------
// Values

namespace {

const JsonValue& emptyValue()
{
    static const JsonValue empty;
    return empty;
}

} // namespace

JsonValue::JsonValue(JsonObjectRef value)
{
    if (value)
        m_data = std::move(value);
}

JsonValue::JsonValue(JsonArrayRef value)
{
    if (value)
        m_data = std::move(value);
}

JsonValue JsonValue::null()
{
    JsonValue value;
    value.m_data = Null{};
    return value;
}

bool JsonValue::toBool() const
{
    const bool* value = std::get_if<bool>(&m_data);
    return value && *value;
}

Decimal JsonValue::toNumber() const
{
    const Decimal* value = std::get_if<Decimal>(&m_data);
    return value ? *value : Decimal();
}

JsonObjectRef JsonValue::toObject() const
{
    const JsonObjectRef* value = std::get_if<JsonObjectRef>(&m_data);
    return value ? *value : nullptr;
}

JsonArrayRef JsonValue::toArray() const
{
    const JsonArrayRef* value = std::get_if<JsonArrayRef>(&m_data);
    return value ? *value : nullptr;
}

QString JsonValue::textForm() const
{
    switch (kind()) {
    case JsonKind::Text: return std::get<QString>(m_data);
    case JsonKind::Number: return std::get<Decimal>(m_data).toText();
    case JsonKind::Boolean: return std::get<bool>(m_data) ? QStringLiteral("True") : QStringLiteral("False");
    default: return {};
    }
}

const JsonValue& JsonValue::operator[](const QString& key) const
{
    const JsonObjectRef* object = std::get_if<JsonObjectRef>(&m_data);
    return object ? (*object)->item(key) : emptyValue();
}

const JsonValue& JsonValue::operator[](int index) const
{
    const JsonArrayRef* array = std::get_if<JsonArrayRef>(&m_data);
    if (!array || index < 1 || index > (*array)->count())
        return emptyValue();
    return (*array)->item(index);
}

int JsonValue::count() const
{
    if (const JsonObjectRef* object = std::get_if<JsonObjectRef>(&m_data))
        return (*object)->count();
    if (const JsonArrayRef* array = std::get_if<JsonArrayRef>(&m_data))
        return (*array)->count();
    return 0;
}

namespace {
// Below this many members a straight search beats hashing.
constexpr int IndexThreshold = 8;
} // namespace

int JsonObject::indexOf(const QString& key) const
{
    if (m_index)
        return m_index->value(key, -1);
    for (size_t i = 0; i < m_members.size(); ++i) {
        if (m_members[i].key == key)
            return int(i);
    }
    return -1;
}

const JsonValue& JsonObject::item(const QString& key) const
{
    const int index = indexOf(key);
    return index < 0 ? emptyValue() : m_members[size_t(index)].value;
}

void JsonObject::add(const QString& key, JsonValue value)
{
    if (contains(key))
        throw makeVbError(vberr::KeyAlreadyAssociated, QStringLiteral("json"));
    m_members.push_back({key, std::move(value)});
    const int last = count() - 1;
    if (m_index) {
        m_index->insert(key, last);
    } else if (count() > IndexThreshold) {
        m_index = std::make_unique<QHash<QString, int>>();
        m_index->reserve(count() * 2);
        for (int i = 0; i <= last; ++i)
            m_index->insert(m_members[size_t(i)].key, i);
    }
}

const JsonValue& JsonArray::item(int index) const
{
    if (index < 1 || index > count())
        throw makeVbError(vberr::SubscriptOutOfRange, QStringLiteral("json"));
    return m_items[size_t(index - 1)];
}

// ---------------------------------------------------------------------------------------------------------
// Reader

namespace {

QString& diagnosticsText()
{
    static QString text;
    return text;
}

int hexDigit(char16_t c)
{
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// Hostile input must not exhaust the stack.
constexpr int MaxDepth = 512;
// Excerpts of "the rest of the text" stay short, so faults cannot make the log grow with the square of the size.
constexpr qsizetype RestExcerpt = 200;
constexpr qsizetype ShortExcerpt = 20;

class Reader final
{
public:
    Reader(const QString& text, QString& diagnostics)
        : m_s(reinterpret_cast<const char16_t*>(text.constData())), m_n(text.size()), m_diag(diagnostics)
    {
    }

    char16_t ch() const { return m_i < m_n ? m_s[m_i] : char16_t(0); }
    bool at(char16_t c) const { return m_i < m_n && m_s[m_i] == c; }

    void skipFiller();
    JsonObjectRef readObject(int depth);
    JsonArrayRef readArray(int depth);
    /** After an opening bracket: the members up to close (or the end of the text), each read by readOne,
     *  which answers false to end the object or array early. */
    template <class ReadOne> void readMembers(char16_t close, const char16_t* missing, ReadOne&& readOne);

private:
    JsonValue readValue(int depth);
    JsonValue readText();
    JsonValue readNull();
    JsonValue readBoolean();
    JsonValue readNumber();
    JsonValue tooDeep();
    QString readKey();

    QString position() const { return QString::number(m_i + 1); }
    QStringView excerpt(qsizetype length) const
    {
        const qsizetype from = std::min(m_i, m_n);
        return QStringView(m_s + from, std::min(length, m_n - from));
    }
    QStringView lastChars() const
    {
        const qsizetype length = std::min(ShortExcerpt, m_n);
        return QStringView(m_s + m_n - length, length);
    }
    void logLine(QStringView a, QStringView b = {}, QStringView c = {}, QStringView d = {})
    {
        m_diag += a;
        m_diag += b;
        m_diag += c;
        m_diag += d;
        m_diag += QLatin1String("\r\n");
    }

    const char16_t* m_s;
    const qsizetype m_n;
    qsizetype m_i = 0; // 0-based; reported 1-based
    QString& m_diag;
    cStringBuilder m_builder; // one buffer for every text value of this parse
    std::u16string m_key;     // likewise for keys
    // Keys repeat from entry to entry: short ones share one string each instead of one per member.
    struct ViewHash
    {
        using is_transparent = void;
        size_t operator()(std::u16string_view v) const { return std::hash<std::u16string_view>()(v); }
    };
    std::unordered_map<std::u16string, QString, ViewHash, std::equal_to<>> m_keys;
    QString keyText();
    bool m_badLiteral = false; // the last value was a literal that did not read
};

void Reader::skipFiller()
{
    bool start = false;
    bool inComment = false;
    bool block = false;
    while (m_i < m_n) {
        switch (m_s[m_i]) {
        case u'\r':
        case u'\n':
            if (!block)
                inComment = start = false;
            break;
        case u'\t':
        case u' ':
        case u'(':
        case u')': break;
        case u'/':
            if (block) {
                if (start)
                    start = inComment = block = false;
            } else if (start) {
                inComment = true;
                start = false;
            } else {
                start = true;
                inComment = block = false;
            }
            break;
        case u'*':
            if (start) {
                inComment = block = true;
                start = false;
            } else {
                start = true;
            }
            break;
        default:
            if (!inComment)
                return;
        }
        ++m_i;
    }
}

template <class ReadOne> void Reader::readMembers(char16_t close, const char16_t* missing, ReadOne&& readOne)
{
    ++m_i;
    for (;;) {
        skipFiller();
        if (at(close)) {
            ++m_i;
            return;
        }
        if (at(u',')) {
            ++m_i;
            skipFiller();
        } else if (m_i >= m_n) {
            logLine(missing, lastChars());
            return;
        }
        if (!readOne())
            return;
    }
}

JsonObjectRef Reader::readObject(int depth)
{
    JsonObjectRef object = JsonObject::create();
    skipFiller();
    if (!at(u'{')) {
        logLine(u"Invalid Object at position ", position(), u" : ", excerpt(RestExcerpt));
        return object;
    }
    readMembers(u'}', u"Missing '}': ", [&] {
        const QString key = readKey();
        try {
            object->add(key, readValue(depth));
        } catch (const VbError& error) {
            logLine(error.description(), u": ", key);
            return false;
        }
        return true;
    });
    return object;
}

JsonArrayRef Reader::readArray(int depth)
{
    JsonArrayRef array = JsonArray::create();
    skipFiller();
    if (!at(u'[')) {
        logLine(u"Invalid Array at position ", position(), u" : ", excerpt(ShortExcerpt));
        return array;
    }
    readMembers(u']', u"Missing ']': ", [&] {
        try {
            array->add(readValue(depth));
        } catch (const VbError& error) {
            logLine(error.description(), u": ", excerpt(ShortExcerpt));
            return false;
        }
        // A literal that did not read leaves the position on it; reading it again would never end.
        if (m_badLiteral) {
            m_badLiteral = false;
            return false;
        }
        return true;
    });
    return array;
}

JsonValue Reader::readValue(int depth)
{
    m_badLiteral = false;
    skipFiller();
    switch (ch()) {
    case u'{':
    case u'[': {
        if (depth >= MaxDepth)
            return tooDeep();
        JsonValue value = ch() == u'{' ? JsonValue(readObject(depth + 1)) : JsonValue(readArray(depth + 1));
        m_badLiteral = false; // a bad literal inside has been dealt with there
        return value;
    }
    case u'"':
    case u'\'': return readText();
    case u't':
    case u'f': return readBoolean();
    case u'n': return readNull();
    default: return readNumber();
    }
}

// Logs the nesting fault and steps over the whole nested value (brackets counted, quoted text honoured).
JsonValue Reader::tooDeep()
{
    logLine(u"Too deep at position ", position());
    qsizetype level = 0;
    while (m_i < m_n) {
        const char16_t c = m_s[m_i++];
        if (c == u'"' || c == u'\'') {
            while (m_i < m_n && m_s[m_i] != c)
                m_i += m_s[m_i] == u'\\' ? 2 : 1;
            m_i = std::min(m_i + 1, m_n);
        } else if (c == u'{' || c == u'[') {
            ++level;
        } else if ((c == u'}' || c == u']') && --level == 0) {
            break;
        }
    }
    return {};
}

JsonValue Reader::readText()
{
    skipFiller();
    const char16_t quote = ch();
    ++m_i;
    m_builder.Remove(0, m_builder.Length());
    while (m_i < m_n) {
        const qsizetype runStart = m_i;
        while (m_i < m_n && m_s[m_i] != quote && m_s[m_i] != u'\\')
            ++m_i;
        if (m_i > runStart)
            m_builder.Append(QStringView(m_s + runStart, m_i - runStart));
        if (m_i >= m_n)
            break;
        if (m_s[m_i] == quote) {
            ++m_i;
            break;
        }
        ++m_i; // the backslash
        if (m_i >= m_n)
            break;
        char16_t c = m_s[m_i];
        switch (c) {
        case u'"':
        case u'\\':
        case u'/':
        case u'\'': break;
        case u'b': c = u'\b'; break;
        case u'f': c = u'\f'; break;
        case u'n': c = u'\n'; break;
        case u'r': c = u'\r'; break;
        case u't': c = u'\t'; break;
        case u'u': {
            ++m_i;
            // Hex digits up to the first other character among the next four; none gives 0.
            char16_t unit = 0;
            for (qsizetype k = m_i; k < std::min(m_i + 4, m_n); ++k) {
                const int digit = hexDigit(m_s[k]);
                if (digit < 0)
                    break;
                unit = char16_t(unit * 16 + digit);
            }
            m_builder.Append(QStringView(&unit, 1));
            m_i += 4;
            continue;
        }
        default: continue; // the backslash is dropped; the character is read again as it is
        }
        m_builder.Append(QStringView(&c, 1));
        ++m_i;
    }
    return JsonValue(m_builder.toString());
}

JsonValue Reader::readNull()
{
    skipFiller();
    if (m_n - m_i >= 4 && QStringView(m_s + m_i, 4) == u"null") {
        m_i += 4;
        return JsonValue::null();
    }
    logLine(u"Invalid null value at position ", position(), u" : ", excerpt(RestExcerpt));
    m_badLiteral = true;
    return {};
}

JsonValue Reader::readBoolean()
{
    skipFiller();
    if (m_n - m_i >= 4 && QStringView(m_s + m_i, 4) == u"true") {
        m_i += 4;
        return JsonValue(true);
    }
    if (m_n - m_i >= 5 && QStringView(m_s + m_i, 5) == u"false") {
        m_i += 5;
        return JsonValue(false);
    }
    logLine(u"Invalid Boolean at position ", position(), u" : ", excerpt(RestExcerpt));
    m_badLiteral = true;
    return JsonValue(false);
}

JsonValue Reader::readNumber()
{
    skipFiller();
    const qsizetype start = m_i;
    while (m_i < m_n) {
        const char16_t c = m_s[m_i];
        if (!((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' || c == u'E'))
            break;
        ++m_i;
    }
    if (m_i >= m_n)
        return {}; // the text ended inside the number: nothing is converted
    return JsonValue(Decimal::fromText(QStringView(m_s + start, m_i - start)));
}

QString Reader::readKey()
{
    skipFiller();
    bool inDouble = false;
    bool inSingle = false;
    m_key.clear();
    while (m_i < m_n) {
        const char16_t c = m_s[m_i];
        if (c == u'"' || c == u'\'') {
            bool& flag = c == u'"' ? inDouble : inSingle;
            flag = !flag;
            ++m_i;
            if (!flag) {
                skipFiller();
                if (!at(u':')) {
                    const QString key = keyText();
                    logLine(u"Invalid Key at position ", position(), u" : ", key);
                    return key;
                }
            }
            continue;
        }
        ++m_i;
        if (c == u':') {
            if (!inDouble && !inSingle)
                break;
            m_key.push_back(c);
        } else if (c != u'\r' && c != u'\n' && c != u'\t' && c != u' ') {
            m_key.push_back(c);
        }
    }
    return keyText();
}

QString Reader::keyText()
{
    constexpr size_t MaxSharedLength = 64;
    constexpr size_t MaxShared = 4096;
    // Copied as code units: QString::fromUtf16 would take a leading U+FEFF or U+FFFE for a byte-order mark.
    const auto copy = [this] { return QString(reinterpret_cast<const QChar*>(m_key.data()), qsizetype(m_key.size())); };
    if (m_key.size() > MaxSharedLength)
        return copy();
    if (auto found = m_keys.find(std::u16string_view(m_key)); found != m_keys.end())
        return found->second;
    QString key = copy();
    if (m_keys.size() < MaxShared)
        m_keys.emplace(m_key, key);
    return key;
}

} // namespace

JsonValue ParseJson(const QString& text)
{
    QString& diagnostics = diagnosticsText();
    diagnostics.clear();
    try {
        Reader reader(text, diagnostics);
        reader.skipFiller();
        if (reader.at(u'{'))
            return JsonValue(reader.readObject(1));
        if (reader.at(u'['))
            return JsonValue(reader.readArray(1));
        diagnostics = QStringLiteral("Invalid JSON");
    } catch (...) {
        // Whatever escaped the containers (memory running out) leaves no object; the log so far stays.
    }
    return {};
}

const QString& Diagnostics()
{
    return diagnosticsText();
}

// ---------------------------------------------------------------------------------------------------------
// Writer

namespace {

void writeValue(const JsonValue& value, QString& out)
{
    switch (value.kind()) {
    case JsonKind::Object: {
        out += u'{';
        const JsonObjectRef object = value.toObject();
        for (const auto& member : object->members()) {
            out += u'"';
            out += member.key;
            out += QLatin1String("\": ");
            writeValue(member.value, out);
            out += u',';
        }
        if (out.endsWith(u','))
            out.chop(1);
        out += u'}';
        break;
    }
    case JsonKind::Array: {
        out += u'[';
        const JsonArrayRef array = value.toArray();
        for (const auto& item : array->items()) {
            writeValue(item, out);
            out += u',';
        }
        if (out.endsWith(u','))
            out.chop(1);
        out += u']';
        break;
    }
    case JsonKind::Text: {
        out += u'"';
        const QString text = value.textForm();
        qsizetype from = 0;
        for (qsizetype quote; (quote = text.indexOf(u'"', from)) >= 0; from = quote + 1) {
            out += QStringView(text).mid(from, quote - from);
            out += QLatin1String("\\\"");
        }
        out += QStringView(text).mid(from);
        out += u'"';
        break;
    }
    case JsonKind::Boolean: out += value.toBool() ? QLatin1String("true") : QLatin1String("false"); break;
    case JsonKind::Null: out += QLatin1String("null"); break;
    case JsonKind::Number: out += value.toNumber().toText(); break;
    case JsonKind::Empty: break;
    }
}

} // namespace

QString ToJsonText(const JsonValue& value)
{
    QString out;
    writeValue(value, out);
    return out;
}

} // namespace json
