// SPDX-License-Identifier: MIT
#include "local/InternedString.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace tallyvue {
namespace {

struct Entry
{
    std::string utf8;
    QString text;
};

// Entries live in fixed blocks that never move, so readers need no lock: a handle is only
// ever seen after the block that holds it was published.
constexpr std::uint32_t kBlockBits = 12;
constexpr std::uint32_t kBlockSize = 1u << kBlockBits;
constexpr std::uint32_t kMaxBlocks = 1u << 14;

class Pool
{
public:
    Pool() { add(std::string_view()); }

    std::uint32_t intern(std::string_view utf8)
    {
        std::lock_guard lock(m_mutex);
        if (const auto it = m_index.find(utf8); it != m_index.end())
            return it->second;
        return add(utf8);
    }

    const Entry& entry(std::uint32_t index) const
    {
        const Entry* block = m_blocks[index >> kBlockBits].load(std::memory_order_acquire);
        return block[index & (kBlockSize - 1)];
    }

private:
    std::uint32_t add(std::string_view utf8)
    {
        const std::uint32_t index = m_count;
        const std::uint32_t blockIndex = index >> kBlockBits;
        if (blockIndex >= kMaxBlocks)
            return 0; // 67 million distinct names: something is feeding us garbage
        Entry* block = m_blocks[blockIndex].load(std::memory_order_relaxed);
        if (!block) {
            m_owned[blockIndex] = std::make_unique<Entry[]>(kBlockSize);
            block = m_owned[blockIndex].get();
        }
        Entry& slot = block[index & (kBlockSize - 1)];
        slot.utf8.assign(utf8);
        slot.text = QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
        m_blocks[blockIndex].store(block, std::memory_order_release);
        m_index.emplace(std::string_view(slot.utf8), index);
        ++m_count;
        return index;
    }

    std::mutex m_mutex;
    std::unordered_map<std::string_view, std::uint32_t> m_index;
    std::uint32_t m_count = 0;
    std::array<std::atomic<Entry*>, kMaxBlocks> m_blocks{};
    std::array<std::unique_ptr<Entry[]>, kMaxBlocks> m_owned;
};

Pool& pool()
{
    // Never destroyed: handles may be read by static destructors elsewhere.
    static Pool* const instance = new Pool;
    return *instance;
}

} // namespace

InternedString::InternedString(std::string_view utf8) : m_index(pool().intern(utf8))
{
}

InternedString::InternedString(QStringView text)
{
    const QByteArray utf8 = text.toUtf8();
    m_index = pool().intern(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

const QString& InternedString::text() const
{
    return pool().entry(m_index).text;
}

std::string_view InternedString::utf8() const
{
    return pool().entry(m_index).utf8;
}

} // namespace tallyvue
