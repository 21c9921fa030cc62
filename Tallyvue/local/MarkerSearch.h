// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tallyvue::detail {

/**
 * Finds a fixed byte pattern in raw bytes, several gigabytes a second. Most transcript bytes
 * are tool output that must cost no more than this search. Checks three bytes of the pattern
 * at once over 32 positions (AVX2 where the processor has it) and confirms the rare hits.
 */
class MarkerSearch
{
public:
    explicit MarkerSearch(std::string_view marker);

    std::size_t size() const { return m_marker.size(); }
    std::string_view marker() const { return m_marker; }

    /// Position of the first occurrence in `bytes`, or npos.
    std::size_t find(std::string_view bytes) const;

    static constexpr std::size_t npos = std::string_view::npos;

private:
    std::string m_marker;
    std::size_t m_probe[3] = {0, 0, 0};
};

} // namespace tallyvue::detail
