// SPDX-License-Identifier: MIT
#pragma once

#include "model/AIProvider.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tallyvue {

/// The in-process notification that asks for the details window.
inline constexpr QStringView kOpenDetailsNotification = u"TallyvueOpenDetails";

/**
 * How any part of Tallyvue asks to be brought forward (a notification click, the global
 * shortcut, a second copy being started): open the popover when the tray application can,
 * otherwise post "TallyvueOpenDetails", which the application answers with the details window.
 */
class AppRoutes : public QObject
{
    Q_OBJECT

public:
    static AppRoutes& instance();

    /// The tray application's "open the popover"; it returns false when it could not.
    void setOpenPopover(std::function<bool()> open);
    /// Runs the registered popover action; false when none is registered or it refused.
    bool openPopover();
    /// Opens the popover or, failing that, posts "TallyvueOpenDetails". With a provider (an
    /// alert about it was clicked) the popover shows that provider's Models tab. Callable from
    /// any thread; the work always happens on the main thread.
    void bringForward(std::optional<AIProvider> provider = std::nullopt);
    /// Delivers an in-process notification to every observer of posted(), synchronously.
    void post(const QString& name);

Q_SIGNALS:
    void posted(const QString& name);

private:
    AppRoutes() = default;
    std::function<bool()> m_openPopover;
};

} // namespace tallyvue
