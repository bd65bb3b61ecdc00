#pragma once

#include <QHash>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

// A forgiving JSON reader and a compact writer over one small value tree.
namespace json {

/** An exact decimal number: a 96-bit magnitude, a sign and a scale of 0 to 28 fraction digits, the range of
 *  the classic platform decimal (up to 79228162514264337593543950335 either way). */
class Decimal final
{
public:
    Decimal() = default;

    /** Converts sign, digits, "." and an optional exponent; more than 28 fraction digits (or more than fit)
     *  round half to even. Throws platform::VbError 13 for malformed text, 6 for a value out of range. */
    static Decimal fromText(QStringView text);
    /** From a whole number. */
    static Decimal fromInt(qint64 value);

    /** Plain decimal text: optional "-", digits, "." and fraction digits; no exponent, no trailing zeros. */
    QString toText() const;

    /** True below zero (zero is never negative). */
    bool isNegative() const { return m_negative; }
    /** Fraction digits, 0 to 28. */
    int scale() const { return m_scale; }
    /** Same number, sign and scale (values are kept without trailing fraction zeros, so this is numeric). */
    friend bool operator==(const Decimal&, const Decimal&) = default;

private:
    std::uint32_t m_lo = 0, m_mid = 0, m_hi = 0;
    std::uint8_t m_scale = 0;
    bool m_negative = false;
};

class JsonObject;
class JsonArray;
using JsonObjectRef = std::shared_ptr<JsonObject>;
using JsonArrayRef = std::shared_ptr<JsonArray>;

enum class JsonKind { Empty, Null, Boolean, Number, Text, Object, Array };

/** One JSON value. Objects and arrays are held by shared reference; copying a value shares them. */
class JsonValue final
{
public:
    /** The empty value (what a missing member reads as). */
    JsonValue() = default;
    explicit JsonValue(bool value) : m_data(value) {}
    explicit JsonValue(const Decimal& value) : m_data(value) {}
    explicit JsonValue(const QString& value) : m_data(value) {}
    explicit JsonValue(JsonObjectRef value);
    explicit JsonValue(JsonArrayRef value);
    /** The JSON null. */
    static JsonValue null();

    JsonKind kind() const { return static_cast<JsonKind>(m_data.index()); }
    bool isEmpty() const { return kind() == JsonKind::Empty; }
    bool isNull() const { return kind() == JsonKind::Null; }
    bool isBoolean() const { return kind() == JsonKind::Boolean; }
    bool isNumber() const { return kind() == JsonKind::Number; }
    bool isText() const { return kind() == JsonKind::Text; }
    bool isObject() const { return kind() == JsonKind::Object; }
    bool isArray() const { return kind() == JsonKind::Array; }

    /** The boolean; false for any other kind. */
    bool toBool() const;
    /** The number; zero for any other kind. */
    Decimal toNumber() const;
    /** The object; null for any other kind. */
    JsonObjectRef toObject() const;
    /** The array; null for any other kind. */
    JsonArrayRef toArray() const;

    /** The text form the classic runtime gave a scalar: text as is, a number in plain decimal, "True" or
     *  "False"; empty text for null, empty, objects and arrays. */
    QString textForm() const;

    /** Member key of an object; the empty value when this is no object or has no such member. */
    const JsonValue& operator[](const QString& key) const;
    /** Element index (1-based) of an array; the empty value when this is no array or index is outside it. */
    const JsonValue& operator[](int index) const;
    /** Members of an object or elements of an array; 0 for any other kind. */
    int count() const;

private:
    struct Null
    {
    };
    std::variant<std::monostate, Null, bool, Decimal, QString, JsonObjectRef, JsonArrayRef> m_data;
};

/** Key to value map: keys compared exactly (case-sensitive), members kept in insertion order. */
class JsonObject final
{
public:
    struct Member
    {
        QString key;
        JsonValue value;
    };

    /** A new empty object. */
    static JsonObjectRef create() { return std::make_shared<JsonObject>(); }

    /** Number of members. */
    int count() const { return static_cast<int>(m_members.size()); }
    /** True when key is a member. */
    bool contains(const QString& key) const { return indexOf(key) >= 0; }
    /** The member's value; the empty value when key is missing. */
    const JsonValue& item(const QString& key) const;
    /** Same as item(key). */
    const JsonValue& operator[](const QString& key) const { return item(key); }
    /** Adds a member; throws platform::VbError 457 when key is already present (the object is unchanged). */
    void add(const QString& key, JsonValue value);
    /** The members in insertion order. */
    const std::vector<Member>& members() const { return m_members; }

private:
    int indexOf(const QString& key) const;

    std::vector<Member> m_members;
    std::unique_ptr<QHash<QString, int>> m_index; // built once an object grows past a few members
};

/** List of values indexed from 1, in document order. */
class JsonArray final
{
public:
    /** A new empty array. */
    static JsonArrayRef create() { return std::make_shared<JsonArray>(); }

    /** Number of elements. */
    int count() const { return static_cast<int>(m_items.size()); }
    /** Element index (1-based); throws platform::VbError 9 outside 1..count(). */
    const JsonValue& item(int index) const;
    /** Same as item(index). */
    const JsonValue& operator[](int index) const { return item(index); }
    /** Appends value at the end. */
    void add(JsonValue value) { m_items.push_back(std::move(value)); }
    /** The elements, first to last. */
    const std::vector<JsonValue>& items() const { return m_items; }

private:
    std::vector<JsonValue> m_items;
};

/** Reads text as an object or array, forgiving comments, quotes and missing commas; faults go to Diagnostics().
 *  Result: an object or array value, or the empty value when the text holds neither. Never throws. */
JsonValue ParseJson(const QString& text);

/** The problems the last ParseJson met, one line each ending in CR LF ("Invalid JSON" alone when the document
 *  was neither object nor array); empty after a clean parse. */
const QString& Diagnostics();

/** Compact JSON text of value: ": " after keys, "," between items, only double quotes escaped, empty as
 *  nothing, numbers in plain decimal. */
QString ToJsonText(const JsonValue& value);

} // namespace json
