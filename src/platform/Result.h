#pragma once

#include "VbError.h"

#include <utility>
#include <variant>

namespace platform {

/** What logic that can fail for ordinary reasons (a missing file, a refused connection) hands back: a value,
 *  or the classic error that says why there is none. */
template <class T> class [[nodiscard]] Result final
{
public:
    Result(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Result(VbError error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return ok(); }

    /** The value; only when ok(). */
    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const T& operator*() const& { return value(); }
    const T* operator->() const { return &value(); }
    /** The value, or fallback when there is none. */
    T valueOr(T fallback) const { return ok() ? value() : std::move(fallback); }

    /** Why there is no value; a VbError with number 0 when there is one. */
    VbError error() const { return ok() ? VbError() : std::get<1>(m_state); }

private:
    std::variant<T, VbError> m_state;
};

/** The outcome of an operation that gives nothing back but can fail. */
template <> class [[nodiscard]] Result<void> final
{
public:
    Result() = default;
    Result(VbError error) : m_error(std::move(error)) {}

    bool ok() const { return !m_error.isError(); }
    explicit operator bool() const { return ok(); }
    const VbError& error() const { return m_error; }

private:
    VbError m_error;
};

} // namespace platform
