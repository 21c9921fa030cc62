// SPDX-License-Identifier: MIT
#include "platform/linux/UpdaterController.h"

#include "model/Log.h"

using namespace Qt::StringLiterals;

namespace tallyvue {

UpdaterController& UpdaterController::shared()
{
    // No update feed on Linux: packages carry the updates.
    static UpdaterController controller{QString(), QString()};
    return controller;
}

bool UpdaterController::isConfiguredFor(const QString& feedUrl, const QString& publicKey)
{
    return !feedUrl.isEmpty() && !feedUrl.contains(u"REPLACE-ME") && !publicKey.isEmpty();
}

UpdaterController::UpdaterController(const QString& feedUrl, const QString& publicKey)
    : m_configured(isConfiguredFor(feedUrl, publicKey))
{
    if (!m_configured)
        log(u"Sparkle not configured (SUFeedURL/SUPublicEDKey missing); update checks disabled"_s);
}

} // namespace tallyvue
