// SPDX-License-Identifier: MIT
#pragma once

#include "platform/linux/HotKeyManager.h"

#include <QByteArray>

#include <cstdint>
#include <memory>
#include <vector>

class QSocketNotifier;
struct xcb_connection_t;
struct _XCBKeySymbols;

namespace tallyvue {

/**
 * The global shortcut on X11: a passive key grab on the root window, on a connection of our
 * own so it works whatever Qt's platform plugin is. Presses with NumLock or CapsLock on match
 * too. Another client holding the combination refuses it with BadAccess (10).
 */
class X11HotKeyBackend : public HotKeyBackend
{
    Q_OBJECT

public:
    /// Connects to `display` (DISPLAY when empty); null when no X server answers.
    static std::unique_ptr<X11HotKeyBackend> connect(const QByteArray& display = {});
    ~X11HotKeyBackend() override;

    int grab(const HotKeyCombination& combination) override;
    void release() override;

private:
    X11HotKeyBackend(xcb_connection_t* connection, std::uint32_t root);
    /// The modifier bit of the first key that produces `keysym` (Num_Lock, Alt_L), or 0.
    std::uint16_t modifierOf(std::uint32_t keysym) const;
    std::vector<std::uint16_t> lockVariants() const;
    void ungrabAll();
    void readEvents();

    xcb_connection_t* m_connection;
    std::uint32_t m_root;
    _XCBKeySymbols* m_symbols;
    QSocketNotifier* m_notifier = nullptr;
    std::optional<HotKeyCombination> m_combination;
    std::vector<std::uint8_t> m_keycodes;
    std::uint16_t m_modifiers = 0;
    std::vector<std::uint16_t> m_variants;
    std::uint32_t m_lastRelease = 0;
    bool m_lost = false;
};

} // namespace tallyvue
