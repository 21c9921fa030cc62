// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tallyvue {

/// Milliseconds since 1970-01-01T00:00:00Z.
using EpochMs = std::int64_t;

/**
 * Reads the timestamps the services and transcripts write: an internet date-time with any number
 * of fractional digits ("2025-09-19T17:00:00.477734+00:00"), one without ("...T17:00:00Z"), or a
 * bare date ("2025-09-19", midnight UTC). A date-time without a zone is refused.
 */
std::optional<EpochMs> parseTimestampMs(std::string_view text);
std::optional<QDateTime> parseTimestamp(const std::optional<QString>& text);

/// The stored-file form: whole seconds and a zone, no fractions ("2026-01-05T14:03:22Z").
std::optional<EpochMs> parseWholeSecondTimestampMs(std::string_view text);
std::optional<QDateTime> parseWholeSecondTimestamp(QStringView text);
/// UTC, whole seconds (truncated), "Z" suffix: always 20 characters.
void appendWholeSecondTimestamp(QByteArray& out, EpochMs ms);
void appendWholeSecondTimestamp(std::string& out, EpochMs ms);
QString formatWholeSecondTimestamp(const QDateTime& date);

QDateTime dateFromEpochMs(EpochMs ms);

} // namespace tallyvue
