// SPDX-License-Identifier: MIT
#pragma once

#include <QProcessEnvironment>
#include <QString>

namespace tallyvue::test {

class HttpServer;

/// Scripts `server` to answer all three usage services as for a signed-in user.
void serveSampleProviders(HttpServer& server);

/// The environment of a child Tallyvue process signed in to all three providers: a private home
/// in `home` (with Codex and Copilot logins and XDG folders), a Claude token, and the services
/// pointed at `server`.
QProcessEnvironment sampleProviderEnvironment(const QString& home, const HttpServer& server);

} // namespace tallyvue::test
