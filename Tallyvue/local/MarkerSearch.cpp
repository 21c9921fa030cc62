// SPDX-License-Identifier: MIT
#include "local/MarkerSearch.h"

#include <algorithm>
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
    // Probe the three bytes that are least common in transcript text, so that few places
    // pass the probes without being the marker. Quotes, colons and frequent letters are the
    // worst choices: every "key": has them.
    static constexpr std::string_view kByFrequency = "\" :,{}eatoinsrhldcumfpgwybvkxjqz_-.0123456789";
    const auto rank = [](char c) {
        const std::size_t at = kByFrequency.find(c);
        return at == std::string_view::npos ? kByFrequency.size() : at;
    };
    const std::size_t m = m_marker.size();
    std::size_t chosen = 0;
    for (std::size_t probe = 0; probe < 3 && m > 0; ++probe) {
        std::size_t best = m;
        for (std::size_t i = 0; i < m; ++i) {
            const bool taken = std::find(m_probe, m_probe + chosen, i) != m_probe + chosen;
            if (!taken && (best == m || rank(m_marker[i]) > rank(m_marker[best])))
                best = i;
        }
        m_probe[chosen++] = best == m ? m_probe[0] : best;
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
