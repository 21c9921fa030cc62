// SPDX-License-Identifier: MIT
#pragma once

#include "model/Preferences.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tallyvue {

/// A key combination in X keysym terms (the portal takes the same names).
struct HotKeyCombination
{
    quint32 keysym = 0;
    bool control = false;
    bool alt = false;
    bool shift = false;

    friend bool operator==(const HotKeyCombination&, const HotKeyCombination&) = default;
};

/// The combination of a preset; none for `off`.
std::optional<HotKeyCombination> hotKeyCombination(HotKeyPreset preset);
/// The settings picker's label: "Off", "Ctrl+Alt+Q", ...
QString hotKeyLabel(HotKeyPreset preset);

/**
 * A desktop's way of grabbing one key combination for the whole session. `pressed` may be
 * emitted on any thread; a backend that learns of a refusal only later emits `refused`.
 */
class HotKeyBackend : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    /// Grabs `combination` for this process: 0, or the service's refusal status (an X error code).
    virtual int grab(const HotKeyCombination& combination) = 0;
    /// Lets go of the current combination, if any.
    virtual void release() = 0;

Q_SIGNALS:
    void pressed();
    void refused(int status);
};

/**
 * The one global shortcut: at most one combination is registered at a time, and a press runs
 * the action on the main thread. One shared instance for the life of the process.
 */
class HotKeyManager : public QObject
{
    Q_OBJECT

public:
    static HotKeyManager& shared();

    /// The desktop's backend; without one every registration is refused.
    void setBackend(std::unique_ptr<HotKeyBackend> backend);
    /// What a press does; set once at start-up.
    void setAction(std::function<void()> action);
    /// Makes `preset` the only registered combination; `off` leaves none. A refusal is logged
    /// and nothing else happens: the preset stays chosen.
    void registerPreset(HotKeyPreset preset);
    /// From now on registers the stored preset again whenever "hotKeyPreset" changes.
    void followPreferences();
    /// Opens the popover through the tray application's action; false when it could not.
    bool clickStatusItem();

    bool isRegistered() const { return m_registered; }

private:
    HotKeyManager() = default;
    void logRefusal(int status);

    std::function<void()> m_action;
    std::unique_ptr<HotKeyBackend> m_backend;
    bool m_registered = false;
    bool m_handlerInstalled = false;
    bool m_following = false;
};

} // namespace tallyvue
