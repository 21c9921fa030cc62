// SPDX-License-Identifier: MIT
#pragma once

#include <QHashFunctions>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace tallyvue {

/**
 * A text kept once per process and referred to by a 4-byte handle. Model and project names
 * repeat on every request of a transcript, so events hold handles instead of copies: memory
 * then grows with the number of requests, not with the bytes read. Names are never released;
 * a user has a handful of models and some hundreds of projects at most.
 */
class InternedString
{
public:
    /// The empty text.
    InternedString() = default;
    explicit InternedString(std::string_view utf8);
    explicit InternedString(QStringView text);

    const QString& text() const;
    std::string_view utf8() const;
    bool isEmpty() const { return m_index == 0; }
    std::uint32_t handle() const { return m_index; }

    // Equal handles mean equal texts, since every text is stored once.
    friend bool operator==(InternedString, InternedString) = default;

private:
    std::uint32_t m_index = 0;
};

inline std::size_t qHash(InternedString name, std::size_t seed = 0) noexcept
{
    return QT_PREPEND_NAMESPACE(qHash)(uint(name.handle()), seed);
}

} // namespace tallyvue

template<>
struct std::hash<tallyvue::InternedString>
{
    std::size_t operator()(tallyvue::InternedString name) const noexcept { return name.handle(); }
};
