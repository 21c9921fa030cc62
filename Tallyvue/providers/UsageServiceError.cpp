// SPDX-License-Identifier: MIT
#include "providers/UsageServiceError.h"

#include "model/Formatting.h"
#include "providers/CodexService.h"
#include "providers/CopilotService.h"
#include "providers/UsageService.h"

#include <QDir>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

/// A text as a quoted literal, so a payload with quotes or line breaks stays on one log line.
QString quoted(const QString& text)
{
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'"': out += u"\\\""_s; break;
        case u'\\': out += u"\\\\"_s; break;
        case u'\n': out += u"\\n"_s; break;
        case u'\r': out += u"\\r"_s; break;
        case u'\t': out += u"\\t"_s; break;
        default: out += c;
        }
    }
    out += u'"';
    return out;
}

} // namespace

QString UsageServiceError::description() const
{
    switch (kind) {
    case Kind::KeychainError: return u"Keychain error (status: "_s + QString::number(code) + u")."_s;
    case Kind::InvalidResponse: return u"API returned HTTP "_s + QString::number(code) + u": "_s + message;
    case Kind::NetworkError: return u"Network error: "_s + message;
    case Kind::TokenExpired: return message;
    case Kind::KeychainNotFound: return u"OAuth token not found. Run 'claude' to authenticate first."_s;
    case Kind::TokenParseError: return u"Failed to parse credential data from Keychain."_s;
    case Kind::ConfigFileNotFound: return u"Credentials file not found."_s;
    case Kind::TokenNotFound: return u"Access token not found in credentials."_s;
    case Kind::InvalidURL: return u"Invalid API URL."_s;
    case Kind::DecodingFailed: return message;
    case Kind::KeychainUnavailable: return u"Keychain unavailable: "_s + message;
    case Kind::CredentialsUnreadable: return u"Credentials file cannot be read: "_s + message + u'.';
    }
    return message;
}

QString UsageServiceError::debugDescription() const
{
    switch (kind) {
    case Kind::KeychainError: return u"keychainError(status: "_s + QString::number(code) + u')';
    case Kind::InvalidResponse:
        return u"invalidResponse(statusCode: "_s + QString::number(code) + u", body: "_s + quoted(message) + u')';
    case Kind::NetworkError: return u"networkError("_s + quoted(message) + u')';
    case Kind::TokenExpired: return u"tokenExpired("_s + quoted(message) + u')';
    case Kind::KeychainNotFound: return u"keychainNotFound"_s;
    case Kind::TokenParseError: return u"tokenParseError"_s;
    case Kind::ConfigFileNotFound: return u"configFileNotFound"_s;
    case Kind::TokenNotFound: return u"tokenNotFound"_s;
    case Kind::InvalidURL: return u"invalidURL"_s;
    case Kind::DecodingFailed: return u"decodingFailed("_s + quoted(message) + u')';
    case Kind::KeychainUnavailable: return u"keychainUnavailable("_s + quoted(message) + u')';
    case Kind::CredentialsUnreadable: return u"credentialsUnreadable("_s + quoted(message) + u')';
    }
    return quoted(message);
}

} // namespace tallyvue

namespace tallyvue {

QString credentialsHint(AIProvider provider)
{
    QString path;
    switch (provider) {
    case AIProvider::Claude: path = UsageService::credentialsFilePath(); break;
    case AIProvider::ChatGPT: path = CodexService::authFilePath(); break;
    case AIProvider::Copilot: path = CopilotService::appsFilePath(); break;
    }
    const QString home = QDir::homePath();
    if (path.startsWith(home + u'/'))
        path = u'~' + path.mid(home.size());
    return path;
}

ProviderNotice providerNotice(AIProvider provider, const UsageServiceError& error, const QDateTime& nextTry)
{
    ProviderNotice notice;
    if (error.isNotSignedIn()) {
        notice.kind = ProviderNotice::Kind::NotSignedIn;
        const QString file = credentialsHint(provider);
        switch (provider) {
        case AIProvider::Claude:
            notice.headline = u"Not signed in to Claude Code. Tallyvue looks for "_s + file +
                              u" (or the keyring item \u201cClaude Code-credentials\u201d); run `claude` and log in "
                              u"to create it."_s;
            break;
        case AIProvider::ChatGPT:
            notice.headline =
                u"Not signed in to ChatGPT / Codex. Tallyvue looks for "_s + file + u", which `codex login` creates."_s;
            break;
        case AIProvider::Copilot:
            notice.headline = u"Not signed in to GitHub Copilot. Tallyvue looks for "_s + file +
                              u", which signing in to Copilot in an editor (VS Code, a JetBrains IDE, Neovim) "
                              u"creates."_s;
            break;
        }
    } else if (error.isSignInExpired()) {
        notice.kind = ProviderNotice::Kind::Expired;
        switch (provider) {
        case AIProvider::Claude:
            notice.headline = u"Claude sign-in has expired. Run `claude` and log in again, then refresh."_s;
            break;
        case AIProvider::ChatGPT:
            notice.headline = u"ChatGPT sign-in has expired. Run `codex login` again, then refresh."_s;
            break;
        case AIProvider::Copilot:
            notice.headline =
                u"GitHub Copilot sign-in has expired. Sign in again in your editor's Copilot extension."_s;
            break;
        }
    } else if (error.isRateLimited()) {
        notice.kind = ProviderNotice::Kind::RateLimited;
        notice.nextTry = nextTry;
        notice.headline = rawValue(provider) + u" is limiting how often usage can be read. Next try at "_s +
                          clockTimeText(nextTry) + u'.';
    }
    return notice;
}

} // namespace tallyvue
