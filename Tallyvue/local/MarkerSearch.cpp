// SPDX-License-Identifier: MIT
#include "local/MarkerSearch.h"

#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace tallyvue::detail {
namespace {

#if defined(__x86_64__)
bool hasAvx2()
{
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

// Scans blocks while all three probe loads stay inside `bytes`; returns the first confirmed
// hit, or the position where the caller must continue with the plain search.
__attribute__((target("avx2"))) std::size_t findAvx2(std::string_view bytes, std::string_view marker,
                                                     const std::size_t probe[3], std::size_t* resume)
{
    const char* data = bytes.data();
    const std::size_t n = bytes.size();
    const std::size_t m = marker.size();
    const __m256i b0 = _mm256_set1_epi8(marker[probe[0]]);
    const __m256i b1 = _mm256_set1_epi8(marker[probe[1]]);
    const __m256i b2 = _mm256_set1_epi8(marker[probe[2]]);
    std::size_t i = 0;
    for (; i + 32 + m - 1 <= n; i += 32) {
        const __m256i c0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + probe[0]));
        const __m256i c1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + probe[1]));
        const __m256i c2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + i + probe[2]));
        const __m256i hit = _mm256_and_si256(_mm256_and_si256(_mm256_cmpeq_epi8(c0, b0), _mm256_cmpeq_epi8(c1, b1)),
                                             _mm256_cmpeq_epi8(c2, b2));
        auto mask = std::uint32_t(_mm256_movemask_epi8(hit));
        while (mask) {
            const std::size_t at = i + std::size_t(__builtin_ctz(mask));
            if (std::memcmp(data + at, marker.data(), m) == 0)
                return at;
            mask &= mask - 1;
        }
    }
    *resume = i;
    return std::string_view::npos;
}
#endif

} // namespace

MarkerSearch::MarkerSearch(std::string_view marker) : m_marker(marker)
{
    // Probe the second, middle and second-to-last bytes: the outer ones are quotes, the most
    // common byte in JSON.
    const std::size_t m = m_marker.size();
    if (m >= 4) {
        m_probe[0] = 1;
        m_probe[1] = m / 2;
        m_probe[2] = m - 2;
    } else if (m > 0) {
        m_probe[1] = m / 2;
        m_probe[2] = m - 1;
    }
}

std::size_t MarkerSearch::find(std::string_view bytes) const
{
    const std::size_t m = m_marker.size();
    if (m == 0)
        return 0;
    if (bytes.size() < m)
        return npos;
    std::size_t from = 0;
#if defined(__x86_64__)
    if (hasAvx2()) {
        const std::size_t at = findAvx2(bytes, m_marker, m_probe, &from);
        if (at != npos)
            return at;
    }
#endif
    const void* hit = memmem(bytes.data() + from, bytes.size() - from, m_marker.data(), m);
    return hit ? std::size_t(static_cast<const char*>(hit) - bytes.data()) : npos;
}

} // namespace tallyvue::detail
