// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

#include <algorithm>

namespace tallyvue {

/// Where a provider's shown figures come from when its own service could not be asked: the
/// quota figures a coding agent on this computer was given, as of `asOf`.
struct FigureSource
{
    QString id;   ///< "claude-code", as in JSON output
    QString name; ///< "Claude Code", as in "from Claude Code, 3 min ago"
    QDateTime asOf;
    /// What would give live figures instead ("Signing in to Codex with ..."); may be empty.
    QString hint;

    friend bool operator==(const FigureSource&, const FigureSource&) = default;
};

/// "from Claude Code, 3 min ago".
inline QString figureSourceText(const FigureSource& source, const QDateTime& now)
{
    const qint64 seconds = std::max<qint64>(0, source.asOf.secsTo(now));
    QString ago;
    if (seconds < 3600)
        ago = QString::number(std::max<qint64>(1, seconds / 60)) + QStringLiteral(" min ago");
    else if (seconds < 2 * 86400)
        ago = QString::number(seconds / 3600) + QStringLiteral(" h ago");
    else
        ago = QString::number(seconds / 86400) + QStringLiteral(" d ago");
    return QStringLiteral("from ") + source.name + QStringLiteral(", ") + ago;
}

} // namespace tallyvue
