// SPDX-License-Identifier: MIT
// The shortcut follows the stored preset, whoever changes it.
#include "model/Preferences.h"
#include "platform/linux/HotKeyManager.h"

#include <QSettings>

#include <gtest/gtest.h>

using namespace tallyvue;
using namespace Qt::StringLiterals;

namespace {

/// Records what the manager grabs and lets go of.
class RecordingBackend : public HotKeyBackend
{
public:
    explicit RecordingBackend(QStringList& events) : m_events(events) {}
    int grab(const HotKeyCombination& combination) override
    {
        m_events.append(u"grab "_s + QChar(char16_t(combination.keysym)) + (combination.shift ? u"+shift"_s : u""_s));
        return 0;
    }
    void release() override { m_events.append(u"release"_s); }

private:
    QStringList& m_events;
};

} // namespace

// Each change of "hotKeyPreset" re-registers: the old combination goes first, `off` grabs
// nothing, and writing the preset already stored does nothing.
TEST(HotKeyPreference, ChangesReRegister)
{
    QSettings(u"Tallyvue"_s, u"Tallyvue"_s).clear();
    QStringList events;
    HotKeyManager& manager = HotKeyManager::shared();
    manager.setBackend(std::make_unique<RecordingBackend>(events));
    manager.followPreferences();
    manager.followPreferences(); // a second call adds no second listener

    Preferences& preferences = Preferences::instance();
    preferences.setHotKeyPreset(HotKeyPreset::CtrlOptQ);
    preferences.setHotKeyPreset(HotKeyPreset::CtrlOptQ);
    preferences.setHotKeyPreset(HotKeyPreset::CtrlShiftOptQ);
    preferences.setHotKeyPreset(HotKeyPreset::Off);
    preferences.setHotKeyPreset(HotKeyPreset::CtrlOptU);
    EXPECT_EQ(events, (QStringList{u"grab q"_s, u"release"_s, u"grab q+shift"_s, u"release"_s, u"grab u"_s}));
    EXPECT_TRUE(manager.isRegistered());
    manager.setBackend(nullptr);
}
