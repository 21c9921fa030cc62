// SPDX-License-Identifier: MIT
#include "platform/linux/X11HotKeyBackend.h"

#include "model/Log.h"

#include <QSocketNotifier>
#include <QTimer>

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <algorithm>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

constexpr std::uint32_t kNumLock = 0xff7f;
constexpr std::uint32_t kAltL = 0xffe9;
constexpr std::uint32_t kMetaL = 0xffe7;

template<typename T>
struct FreeDeleter
{
    void operator()(T* p) const { std::free(p); }
};
template<typename T>
using XcbReply = std::unique_ptr<T, FreeDeleter<T>>;

} // namespace

std::unique_ptr<X11HotKeyBackend> X11HotKeyBackend::connect(const QByteArray& display)
{
    int screenNumber = 0;
    xcb_connection_t* connection = xcb_connect(display.isEmpty() ? nullptr : display.constData(), &screenNumber);
    if (xcb_connection_has_error(connection)) {
        xcb_disconnect(connection);
        return nullptr;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber && screens.rem > 0; ++i)
        xcb_screen_next(&screens);
    if (screens.rem == 0) {
        xcb_disconnect(connection);
        return nullptr;
    }
    return std::unique_ptr<X11HotKeyBackend>(new X11HotKeyBackend(connection, screens.data->root));
}

X11HotKeyBackend::X11HotKeyBackend(xcb_connection_t* connection, std::uint32_t root)
    : m_connection(connection), m_root(root), m_symbols(xcb_key_symbols_alloc(connection))
{
    m_notifier = new QSocketNotifier(xcb_get_file_descriptor(connection), QSocketNotifier::Read, this);
    QObject::connect(m_notifier, &QSocketNotifier::activated, this, &X11HotKeyBackend::readEvents);
}

X11HotKeyBackend::~X11HotKeyBackend()
{
    delete m_notifier;
    xcb_key_symbols_free(m_symbols);
    xcb_disconnect(m_connection);
}

std::uint16_t X11HotKeyBackend::modifierOf(std::uint32_t keysym) const
{
    XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(m_symbols, keysym));
    XcbReply<xcb_get_modifier_mapping_reply_t> mapping(
        xcb_get_modifier_mapping_reply(m_connection, xcb_get_modifier_mapping(m_connection), nullptr));
    if (!codes || !mapping)
        return 0;
    const xcb_keycode_t* table = xcb_get_modifier_mapping_keycodes(mapping.get());
    const int perModifier = mapping->keycodes_per_modifier;
    for (int modifier = 0; modifier < 8; ++modifier) {
        for (int i = 0; i < perModifier; ++i) {
            const xcb_keycode_t code = table[modifier * perModifier + i];
            for (const xcb_keycode_t* c = codes.get(); code != 0 && *c != XCB_NO_SYMBOL; ++c) {
                if (*c == code)
                    return std::uint16_t(1U << modifier);
            }
        }
    }
    return 0;
}

std::vector<std::uint16_t> X11HotKeyBackend::lockVariants() const
{
    // NumLock's bit differs between keyboard set-ups; ask the server rather than assume Mod2.
    const std::uint16_t numLock = modifierOf(kNumLock);
    std::vector<std::uint16_t> variants{0, XCB_MOD_MASK_LOCK};
    if (numLock != 0 && numLock != XCB_MOD_MASK_LOCK) {
        variants.push_back(numLock);
        variants.push_back(std::uint16_t(numLock | XCB_MOD_MASK_LOCK));
    }
    return variants;
}

int X11HotKeyBackend::grab(const HotKeyCombination& combination)
{
    release();
    if (m_lost)
        return -1;
    std::uint16_t alt = modifierOf(kAltL);
    if (alt == 0)
        alt = modifierOf(kMetaL);
    if (alt == 0)
        alt = XCB_MOD_MASK_1;
    m_modifiers = std::uint16_t((combination.control ? XCB_MOD_MASK_CONTROL : 0) | (combination.alt ? alt : 0) |
                                (combination.shift ? XCB_MOD_MASK_SHIFT : 0));
    m_variants = lockVariants();
    m_keycodes.clear();
    XcbReply<xcb_keycode_t> codes(xcb_key_symbols_get_keycode(m_symbols, combination.keysym));
    for (const xcb_keycode_t* c = codes.get(); c && *c != XCB_NO_SYMBOL; ++c)
        m_keycodes.push_back(*c);
    if (m_keycodes.empty())
        return XCB_VALUE; // the keyboard has no such key

    std::vector<xcb_void_cookie_t> cookies;
    for (const std::uint8_t keycode : m_keycodes) {
        for (const std::uint16_t variant : m_variants)
            cookies.push_back(xcb_grab_key_checked(m_connection, 1, m_root, std::uint16_t(m_modifiers | variant),
                                                   keycode, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
    }
    int status = 0;
    for (const xcb_void_cookie_t cookie : cookies) {
        XcbReply<xcb_generic_error_t> error(xcb_request_check(m_connection, cookie));
        if (error && status == 0)
            status = error->error_code;
    }
    if (status != 0) {
        ungrabAll(); // a combination held elsewhere must not stay half grabbed by us
    } else {
        m_combination = combination;
    }
    // Checking the grabs may have read events into xcb's queue; the socket will not say so.
    QTimer::singleShot(0, this, &X11HotKeyBackend::readEvents);
    return status;
}

void X11HotKeyBackend::release()
{
    if (!m_combination)
        return;
    ungrabAll();
    m_combination.reset();
}

void X11HotKeyBackend::ungrabAll()
{
    for (const std::uint8_t keycode : m_keycodes) {
        for (const std::uint16_t variant : m_variants)
            xcb_ungrab_key(m_connection, keycode, m_root, std::uint16_t(m_modifiers | variant));
    }
    xcb_flush(m_connection);
}

void X11HotKeyBackend::readEvents()
{
    while (xcb_generic_event_t* raw = xcb_poll_for_event(m_connection)) {
        XcbReply<xcb_generic_event_t> event(raw);
        switch (event->response_type & 0x7f) {
        case XCB_KEY_PRESS: {
            const auto* key = reinterpret_cast<xcb_key_press_event_t*>(raw);
            // Auto-repeat sends a release and a press with one timestamp: only a real press counts.
            if (m_combination && key->time != m_lastRelease &&
                std::find(m_keycodes.begin(), m_keycodes.end(), key->detail) != m_keycodes.end())
                Q_EMIT pressed();
            break;
        }
        case XCB_KEY_RELEASE: m_lastRelease = reinterpret_cast<xcb_key_release_event_t*>(raw)->time; break;
        case XCB_MAPPING_NOTIFY: {
            // A new keyboard layout may move our key: grab it again where it now is.
            xcb_refresh_keyboard_mapping(m_symbols, reinterpret_cast<xcb_mapping_notify_event_t*>(raw));
            if (const auto combination = m_combination) {
                if (const int status = grab(*combination); status != 0)
                    Q_EMIT refused(status);
            }
            break;
        }
        default: break;
        }
    }
    if (!m_lost && xcb_connection_has_error(m_connection)) {
        m_lost = true;
        m_notifier->setEnabled(false);
        m_combination.reset();
        log(u"The X server connection of the global shortcut was lost"_s);
    }
}

} // namespace tallyvue
