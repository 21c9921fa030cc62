// SPDX-License-Identifier: MIT
#include "platform/linux/HotKeyManager.h"

#include "alerts/AppRoutes.h"
#include "model/Log.h"

#include <utility>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

// X keysyms of the preset keys; the portal's trigger names are the same.
constexpr quint32 kKeyQ = 0x71;
constexpr quint32 kKeyU = 0x75;
constexpr quint32 kKeySpace = 0x20;

} // namespace

std::optional<HotKeyCombination> hotKeyCombination(HotKeyPreset preset)
{
    switch (preset) {
    case HotKeyPreset::Off: return std::nullopt;
    case HotKeyPreset::CtrlOptQ: return HotKeyCombination{kKeyQ, true, true, false};
    case HotKeyPreset::CtrlOptU: return HotKeyCombination{kKeyU, true, true, false};
    case HotKeyPreset::CtrlOptSpace: return HotKeyCombination{kKeySpace, true, true, false};
    case HotKeyPreset::CtrlShiftOptQ: return HotKeyCombination{kKeyQ, true, true, true};
    }
    return std::nullopt;
}

QString hotKeyLabel(HotKeyPreset preset)
{
    switch (preset) {
    case HotKeyPreset::Off: return u"Off"_s;
    case HotKeyPreset::CtrlOptQ: return u"Ctrl+Alt+Q"_s;
    case HotKeyPreset::CtrlOptU: return u"Ctrl+Alt+U"_s;
    case HotKeyPreset::CtrlOptSpace: return u"Ctrl+Alt+Space"_s;
    case HotKeyPreset::CtrlShiftOptQ: return u"Ctrl+Shift+Alt+Q"_s;
    }
    return {};
}

HotKeyManager& HotKeyManager::shared()
{
    static HotKeyManager manager;
    return manager;
}

void HotKeyManager::setBackend(std::unique_ptr<HotKeyBackend> backend)
{
    if (m_backend && m_registered)
        m_backend->release();
    m_registered = false;
    m_handlerInstalled = false;
    m_backend = std::move(backend);
    if (m_backend)
        connect(m_backend.get(), &HotKeyBackend::refused, this, &HotKeyManager::logRefusal);
}

void HotKeyManager::setAction(std::function<void()> action)
{
    m_action = std::move(action);
}

void HotKeyManager::registerPreset(HotKeyPreset preset)
{
    if (m_registered) {
        m_backend->release();
        m_registered = false;
    }
    const auto combination = hotKeyCombination(preset);
    if (!combination)
        return;
    if (!m_backend) {
        logRefusal(-1);
        return;
    }
    if (!m_handlerInstalled) {
        // The handler only schedules: presses may arrive on another thread, the action touches views.
        connect(
            m_backend.get(), &HotKeyBackend::pressed, this,
            [this] {
                QMetaObject::invokeMethod(
                    this,
                    [this] {
                        if (m_action)
                            m_action();
                    },
                    Qt::QueuedConnection);
            },
            Qt::DirectConnection);
        m_handlerInstalled = true;
    }
    if (const int status = m_backend->grab(*combination); status != 0) {
        logRefusal(status);
        return;
    }
    m_registered = true;
}

void HotKeyManager::followPreferences()
{
    if (std::exchange(m_following, true))
        return;
    connect(&Preferences::instance(), &Preferences::changed, this, [this](const QString& key) {
        if (key == u"hotKeyPreset")
            registerPreset(Preferences::instance().hotKeyPreset());
    });
}

bool HotKeyManager::clickStatusItem()
{
    return AppRoutes::instance().openPopover();
}

void HotKeyManager::logRefusal(int status)
{
    log(u"RegisterEventHotKey failed: "_s + QString::number(status));
}

} // namespace tallyvue
