// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace tallyvue::detail {

/**
 * Which transcript owns each event id, as (file slot, event index). The id's bytes are not
 * stored here but in the owning file's state, found again through `bytesOf(slot, index)`;
 * an entry costs 16 bytes. Open addressing with linear probing and backward-shift removal.
 */
class EventIdTable
{
public:
    static constexpr std::uint32_t kEmpty = 0xffffffffu;

    struct Entry
    {
        std::uint64_t hash = 0;
        std::uint32_t slot = kEmpty;
        std::uint32_t index = 0;
    };

    std::size_t size() const { return m_size; }

    template<class BytesOf>
    Entry* find(std::uint64_t hash, std::string_view id, const BytesOf& bytesOf)
    {
        if (m_entries.empty())
            return nullptr;
        for (std::size_t i = hash & m_mask;; i = (i + 1) & m_mask) {
            Entry& e = m_entries[i];
            if (e.slot == kEmpty)
                return nullptr;
            if (e.hash == hash && bytesOf(e.slot, e.index) == id)
                return &e;
        }
    }

    /// The id must not be present yet.
    void insert(std::uint64_t hash, std::uint32_t slot, std::uint32_t index)
    {
        if ((m_size + 1) * 4 > m_entries.size() * 3)
            grow();
        place({hash, slot, index});
        ++m_size;
    }

    void erase(std::uint64_t hash, std::uint32_t slot, std::uint32_t index)
    {
        if (m_entries.empty())
            return;
        std::size_t i = hash & m_mask;
        for (;; i = (i + 1) & m_mask) {
            const Entry& e = m_entries[i];
            if (e.slot == kEmpty)
                return;
            if (e.slot == slot && e.index == index)
                break;
        }
        // Pull later entries of the same run back so that no lookup stops early.
        for (std::size_t j = (i + 1) & m_mask;; j = (j + 1) & m_mask) {
            const Entry& e = m_entries[j];
            if (e.slot == kEmpty)
                break;
            const std::size_t home = e.hash & m_mask;
            const bool stays = i <= j ? (i < home && home <= j) : (i < home || home <= j);
            if (stays)
                continue;
            m_entries[i] = e;
            i = j;
        }
        m_entries[i] = Entry{};
        --m_size;
    }

private:
    void place(const Entry& entry)
    {
        std::size_t i = entry.hash & m_mask;
        while (m_entries[i].slot != kEmpty)
            i = (i + 1) & m_mask;
        m_entries[i] = entry;
    }

    void grow()
    {
        std::vector<Entry> old;
        old.swap(m_entries);
        const std::size_t capacity = old.empty() ? 1024 : old.size() * 2;
        m_entries.assign(capacity, Entry{});
        m_mask = capacity - 1;
        for (const Entry& e : old) {
            if (e.slot != kEmpty)
                place(e);
        }
    }

    std::vector<Entry> m_entries;
    std::size_t m_mask = 0;
    std::size_t m_size = 0;
};

} // namespace tallyvue::detail
