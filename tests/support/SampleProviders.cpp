// SPDX-License-Identifier: MIT
#include "support/SampleProviders.h"

#include "support/HttpServer.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;

namespace tallyvue::test {
namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

} // namespace

void serveSampleProviders(HttpServer& server)
{
    server.setResponse("/api/oauth/usage", ScriptedResponse::json(200, R"({"five_hour":{"utilization":42.5,)"
                                                                       R"("resets_at":"2099-01-01T00:00:00Z"},)"
                                                                       R"("seven_day":{"utilization":63}})"));
    server.setResponse("/backend-api/wham/usage",
                       ScriptedResponse::json(200, R"({"rate_limit":{"primary_window":{"used_percent":12}}})"));
    server.setResponse("/copilot_internal/user",
                       ScriptedResponse::json(200, R"({"quota_snapshots":{"chat":{"percent_remaining":80}}})"));
}

QProcessEnvironment sampleProviderEnvironment(const QString& home, const HttpServer& server)
{
    writeFile(home + u"/.codex/auth.json"_s, R"({"tokens":{"access_token":"t"}})");
    writeFile(home + u"/.config/github-copilot/apps.json"_s, R"({"a":{"oauth_token":"t"}})");
    QDir().mkpath(home + u"/runtime"_s);
    QFile::setPermissions(home + u"/runtime"_s, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"HOME"_s, home);
    env.insert(u"XDG_CONFIG_HOME"_s, home + u"/.config"_s);
    env.insert(u"XDG_DATA_HOME"_s, home + u"/.local/share"_s);
    env.insert(u"XDG_RUNTIME_DIR"_s, home + u"/runtime"_s);
    env.insert(u"TMPDIR"_s, home);
    env.insert(u"CLAUDE_CODE_OAUTH_TOKEN"_s, u"t"_s);
    env.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"disabled:"_s);
    for (const QString& name : {u"TALLYVUE_CLAUDE_API"_s, u"TALLYVUE_CHATGPT_API"_s, u"TALLYVUE_COPILOT_API"_s})
        env.insert(name, server.origin());
    return env;
}

} // namespace tallyvue::test
