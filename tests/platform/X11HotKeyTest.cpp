// SPDX-License-Identifier: MIT
// The X11 shortcut on an Xvfb display of the test's own, pressed with xdotool.
#include "platform/TestServers.h"
#include "platform/linux/HotKeyManager.h"
#include "platform/linux/X11HotKeyBackend.h"
#include "support/OutputCapture.h"

#include <xcb/xcb.h>
#include <xcb/xcb_keysyms.h>

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tallyvue;
using namespace tallyvue::test;
using namespace Qt::StringLiterals;

namespace {

XvfbServer* g_x = nullptr;

/// Another X client: holds or probes key grabs and reads the lock state, as a rival application would.
class OtherClient
{
public:
    OtherClient()
        : m_connection(xcb_connect(g_x->display().toLatin1().constData(), nullptr)),
          m_symbols(xcb_key_symbols_alloc(m_connection)),
          m_root(xcb_setup_roots_iterator(xcb_get_setup(m_connection)).data->root)
    {
    }
    ~OtherClient()
    {
        xcb_key_symbols_free(m_symbols);
        xcb_disconnect(m_connection);
    }

    xcb_keycode_t keycode(quint32 keysym)
    {
        xcb_keycode_t* codes = xcb_key_symbols_get_keycode(m_symbols, keysym);
        const xcb_keycode_t code = codes ? codes[0] : 0;
        std::free(codes);
        return code;
    }
    /// Grabs keysym with `modifiers`: 0 or the X error code (10 when someone else holds it).
    int grab(quint32 keysym, quint16 modifiers)
    {
        xcb_generic_error_t* error =
            xcb_request_check(m_connection, xcb_grab_key_checked(m_connection, 1, m_root, modifiers, keycode(keysym),
                                                                 XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        const int status = error ? error->error_code : 0;
        std::free(error);
        return status;
    }
    /// Whether a grab of the combination is free now (taken and given back at once).
    bool isFree(quint32 keysym, quint16 modifiers)
    {
        if (grab(keysym, modifiers) != 0)
            return false;
        xcb_ungrab_key(m_connection, keycode(keysym), m_root, modifiers);
        xcb_flush(m_connection);
        return true;
    }
    quint16 modifierState()
    {
        xcb_query_pointer_reply_t* reply =
            xcb_query_pointer_reply(m_connection, xcb_query_pointer(m_connection, m_root), nullptr);
        const quint16 mask = reply ? reply->mask : 0;
        std::free(reply);
        return mask;
    }

private:
    xcb_connection_t* m_connection;
    xcb_key_symbols_t* m_symbols;
    xcb_window_t m_root;
};

constexpr quint32 kQ = 0x71, kSpace = 0x20;
constexpr quint16 kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr quint16 kNumLock = XCB_MOD_MASK_2;

bool xdotool(const QStringList& args)
{
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, g_x->display());
    tool.setProcessEnvironment(env);
    tool.start(u"xdotool"_s, args);
    return tool.waitForFinished(10000) && tool.exitCode() == 0;
}

} // namespace

class X11HotKeyTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        if (missingTools({"Xvfb", "xdotool"}))
            return; // each test skips
        g_x = new XvfbServer;
        ASSERT_TRUE(g_x->start()) << "Xvfb did not start";
    }
    static void TearDownTestSuite() { delete std::exchange(g_x, nullptr); }

    void SetUp() override
    {
        if (const auto why = missingTools({"Xvfb", "xdotool"}))
            GTEST_SKIP() << *why;
        auto backend = X11HotKeyBackend::connect(g_x->display().toLatin1());
        ASSERT_TRUE(backend);
        manager.setBackend(std::move(backend));
        manager.setAction([this] { ++presses; });
    }
    void TearDown() override
    {
        setLocks(0);
        manager.setBackend(nullptr);
        manager.setAction({});
    }

    /// Presses `keys` once and reports how many times the action ran.
    int press(const QString& keys)
    {
        presses = 0;
        EXPECT_TRUE(xdotool({u"key"_s, keys}));
        waitUntil([&] { return presses > 0; }, 400);
        settle(100); // a second run would show up by now
        return presses;
    }
    /// Switches NumLock and CapsLock to the wanted state (XCB_MOD_MASK_2 / XCB_MOD_MASK_LOCK bits).
    void setLocks(quint16 wanted)
    {
        for (const auto& [bit, key] :
             {std::pair{kNumLock, u"Num_Lock"_s}, std::pair{quint16(XCB_MOD_MASK_LOCK), u"Caps_Lock"_s}}) {
            if ((other.modifierState() & bit) != (wanted & bit)) {
                ASSERT_TRUE(xdotool({u"key"_s, key}));
            }
            ASSERT_EQ(other.modifierState() & bit, wanted & bit);
        }
    }

    HotKeyManager& manager = HotKeyManager::shared();
    OtherClient other;
    int presses = 0;
};

// Each preset answers to its own combination only, whatever NumLock and CapsLock say.
TEST_F(X11HotKeyTest, PresetFiresOncePerPress)
{
    // The preset, its keys, and keys close to them that must not fire it.
    const std::tuple<HotKeyPreset, QString, QString> presets[] = {
        {HotKeyPreset::CtrlOptQ, u"ctrl+alt+q"_s, u"ctrl+alt+shift+q"_s},
        {HotKeyPreset::CtrlOptU, u"ctrl+alt+u"_s, u"ctrl+alt+q"_s},
        {HotKeyPreset::CtrlOptSpace, u"ctrl+alt+space"_s, u"ctrl+space"_s},
        {HotKeyPreset::CtrlShiftOptQ, u"ctrl+shift+alt+q"_s, u"ctrl+alt+q"_s},
    };
    const quint16 locks[] = {0, kNumLock, XCB_MOD_MASK_LOCK, kNumLock | XCB_MOD_MASK_LOCK};
    for (const quint16 lock : locks) {
        setLocks(lock);
        for (const auto& [preset, keys, otherKeys] : presets) {
            SCOPED_TRACE(keys.toStdString() + " with locks " + std::to_string(lock));
            manager.registerPreset(preset);
            EXPECT_TRUE(manager.isRegistered());
            EXPECT_EQ(press(keys), 1);
            EXPECT_EQ(press(otherKeys), 0);
        }
    }
}

// Holding the combination down (the keyboard repeats it) still counts as one press.
TEST_F(X11HotKeyTest, HeldKeyIsOnePress)
{
    manager.registerPreset(HotKeyPreset::CtrlOptQ);
    presses = 0;
    ASSERT_TRUE(xdotool({u"keydown"_s, u"ctrl+alt+q"_s, u"sleep"_s, u"1.2"_s, u"keyup"_s, u"ctrl+alt+q"_s}));
    settle(200);
    EXPECT_EQ(presses, 1);
}

// A combination another application holds is refused with the log line, and nothing of ours
// stays half grabbed; the manager keeps working for the next choice.
TEST_F(X11HotKeyTest, TakenCombinationIsRefused)
{
    ASSERT_EQ(other.grab(kSpace, kCtrlAlt), 0);
    {
        OutputCapture output;
        manager.registerPreset(HotKeyPreset::CtrlOptSpace);
        EXPECT_EQ(output.text(), "[Tallyvue] RegisterEventHotKey failed: 10\n");
    }
    EXPECT_FALSE(manager.isRegistered());
    OtherClient third;
    EXPECT_TRUE(third.isFree(kSpace, kCtrlAlt | XCB_MOD_MASK_LOCK));
    EXPECT_TRUE(third.isFree(kSpace, kCtrlAlt | kNumLock));

    manager.registerPreset(HotKeyPreset::CtrlOptQ);
    EXPECT_EQ(press(u"ctrl+alt+q"_s), 1);
    manager.registerPreset(HotKeyPreset::Off); // leaves nothing grabbed, whatever the locks
    EXPECT_TRUE(third.isFree(kQ, kCtrlAlt | kNumLock));
    EXPECT_EQ(press(u"ctrl+alt+q"_s), 0);
}
