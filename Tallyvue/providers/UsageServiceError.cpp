// SPDX-License-Identifier: MIT
#include "providers/UsageServiceError.h"

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
