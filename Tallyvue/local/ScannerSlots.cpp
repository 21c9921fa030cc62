// SPDX-License-Identifier: MIT
// File slots of the scanner and the ownership of request ids across files.
#include "local/ScannerState.h"

#include <QFile>

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace tallyvue {

using detail::EventIdTable;
using detail::FileState;
using detail::IdRef;
using detail::kNoId;
using detail::ListedFile;
using detail::ReadEvent;
using detail::ReadRange;
using detail::ReadResult;
using detail::TranscriptKind;
using detail::Visit;

std::optional<std::uint32_t> LocalUsageScanner::State::findSlot(std::string_view path, std::uint64_t pathHash) const
{
    const auto [first, last] = slotByPath.equal_range(pathHash);
    for (auto it = first; it != last; ++it) {
        if (files[it->second].path == path)
            return it->second;
    }
    return std::nullopt;
}

std::uint32_t LocalUsageScanner::State::allocateSlot(std::string_view path, std::uint64_t pathHash,
                                                     const ListedFile& listed, TranscriptKind kind)
{
    std::uint32_t slot = 0;
    if (!freeSlots.empty()) {
        slot = freeSlots.back();
        freeSlots.pop_back();
        files[slot] = FileState{};
    } else {
        slot = std::uint32_t(files.size());
        files.emplace_back();
        changedSlot.push_back(0);
    }
    FileState& state = files[slot];
    state.path.assign(path);
    state.live = true;
    state.kind = kind;
    state.device = listed.device;
    state.inode = listed.inode;
    state.fallbackProject = InternedString(path.substr(listed.parentNameOffset, listed.parentNameLength));
    slotByPath.emplace(pathHash, slot);
    ++liveCount;
    return slot;
}

void LocalUsageScanner::State::forget(std::uint32_t slot)
{
    FileState& state = files[slot];
    for (std::uint32_t i = 0; i < state.events.size(); ++i) {
        if (state.ids[i].length == kNoId)
            continue;
        const std::string_view id = state.id(i);
        owners.erase(std::hash<std::string_view>{}(id), slot, i);
    }
    changedSlot[slot] = 1;
}

void LocalUsageScanner::State::release(std::uint32_t slot)
{
    forget(slot);
    const auto [first, last] = slotByPath.equal_range(std::hash<std::string_view>{}(files[slot].path));
    for (auto it = first; it != last; ++it) {
        if (it->second == slot) {
            slotByPath.erase(it);
            break;
        }
    }
    --liveCount;
    files[slot] = FileState{};
    freeSlots.push_back(slot);
}

void LocalUsageScanner::State::reset(std::uint32_t slot, const Visit& visit)
{
    forget(slot);
    FileState& old = files[slot];
    FileState fresh;
    fresh.path = std::move(old.path);
    fresh.live = true;
    fresh.kind = old.kind;
    fresh.fallbackProject = old.fallbackProject;
    fresh.device = visit.device;
    fresh.inode = visit.inode;
    old = std::move(fresh);
}

void LocalUsageScanner::State::collectIds(std::uint32_t slot, std::unordered_set<std::uint64_t>& into) const
{
    const FileState& state = files[slot];
    for (std::uint32_t i = 0; i < state.events.size(); ++i) {
        if (state.ids[i].length != kNoId)
            into.insert(std::hash<std::string_view>{}(state.id(i)));
    }
}

/**
 * Files that disappeared, and files read again from their start, give up their ids before
 * anything is read: a renamed or moved transcript then claims its own ids in this scan. A
 * file that holds a released id it could not own before (a copy of a deleted transcript)
 * is read again, so usage is never lost while some file holds it.
 */
void LocalUsageScanner::State::releaseBeforeReading(const std::vector<char>& seen, std::vector<Visit>& visits,
                                                    std::vector<ReadRange>& ranges, std::int64_t& newBytes)
{
    std::unordered_set<std::uint64_t> released;
    for (std::uint32_t slot = 0; slot < files.size(); ++slot) {
        if (files[slot].live && !(slot < seen.size() && seen[slot])) {
            collectIds(slot, released);
            release(slot);
        }
    }
    for (const Visit& visit : visits) {
        if (visit.reset) {
            collectIds(visit.slot, released);
            reset(visit.slot, visit);
        }
    }
    if (released.empty())
        return;
    for (std::size_t v = 0; v < visits.size(); ++v) {
        Visit& visit = visits[v];
        const std::vector<std::uint64_t>& held = files[visit.slot].heldElsewhere;
        if (visit.reset ||
            std::none_of(held.begin(), held.end(), [&](std::uint64_t id) { return released.contains(id); }))
            continue;
        ReadRange& range = ranges[v];
        newBytes += range.begin;
        range = ReadRange{0, range.end, false};
        visit.reset = true;
        visit.read = range.end > 0;
        reset(visit.slot, visit);
    }
}

void LocalUsageScanner::State::markTouched(std::uint32_t slot)
{
    if (touched.empty() || touched.back() != slot)
        touched.push_back(slot);
}

void LocalUsageScanner::State::keep(std::uint32_t slot, const ReadEvent& e, const ReadResult& from)
{
    FileState& state = files[slot];
    if (!e.hasId) {
        state.events.push_back(e.event);
        state.ids.push_back(IdRef{});
        return;
    }
    const std::string_view id = from.id(e);
    const auto bytesOf = [this](std::uint32_t s, std::uint32_t i) { return files[s].id(i); };
    if (EventIdTable::Entry* owner = owners.find(e.idHash, id, bytesOf)) {
        if (owner->slot != slot)
            state.heldElsewhere.push_back(e.idHash);
        // One event per id; the row with the most output wins, the later one on a tie.
        LocalUsageEvent& held = files[owner->slot].events[owner->index];
        if (e.event.outputTokens < held.outputTokens)
            return;
        const FileState& ownerState = files[owner->slot];
        if (owner->index < ownerState.indexed && !changedSlot[owner->slot] &&
            upgradedKeys.insert((std::uint64_t(owner->slot) << 32) | owner->index).second) {
            staleOrder.push_back({held.timestamp, owner->slot, owner->index});
            upgraded.emplace_back(owner->slot, owner->index);
        }
        held = e.event;
        return;
    }
    const auto index = std::uint32_t(state.events.size());
    if (state.idBytes.size() + id.size() >= std::numeric_limits<std::uint32_t>::max()) {
        state.events.push_back(e.event);
        state.ids.push_back(IdRef{});
        return;
    }
    state.ids.push_back(IdRef{std::uint32_t(state.idBytes.size()), std::uint32_t(id.size())});
    state.idBytes.append(id);
    state.events.push_back(e.event);
    owners.insert(e.idHash, slot, index);
}

} // namespace tallyvue
