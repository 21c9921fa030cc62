// SPDX-License-Identifier: MIT
#pragma once

#include "model/AIProvider.h"
#include "model/Result.h"

#include <QDateTime>
#include <QString>

#include <optional>

namespace tallyvue {

/// The one error type of the provider clients; description() is what the user sees.
struct UsageServiceError
{
    enum class Kind {
        KeychainError,   ///< the keychain tool exited non-zero; `code` is its exit status
        InvalidResponse, ///< `code` is the HTTP status, `message` the body
        NetworkError,    ///< `message` is the transport's description
        TokenExpired,    ///< `message` is the whole text
        KeychainNotFound,
        TokenParseError,
        ConfigFileNotFound,
        TokenNotFound,
        InvalidURL,
        DecodingFailed,        ///< the response was not the expected JSON; `message` says why
        KeychainUnavailable,   ///< the keychain tool could not run (missing, no session bus, hung); `message` says why
        CredentialsUnreadable, ///< a credentials file exists but cannot be read; `message` names it and says why
    };

    Kind kind = Kind::NetworkError;
    int code = 0;
    QString message;
    /// The server's Retry-After with an InvalidResponse, in seconds.
    std::optional<qint64> retryAfterSeconds;

    static UsageServiceError keychainError(int status) { return {Kind::KeychainError, status, {}, {}}; }
    static UsageServiceError invalidResponse(int status, QString body)
    {
        return {Kind::InvalidResponse, status, std::move(body), {}};
    }
    static UsageServiceError networkError(QString text) { return {Kind::NetworkError, 0, std::move(text), {}}; }
    static UsageServiceError tokenExpired(QString text) { return {Kind::TokenExpired, 0, std::move(text), {}}; }
    static UsageServiceError decodingFailed(QString text) { return {Kind::DecodingFailed, 0, std::move(text), {}}; }
    static UsageServiceError keychainUnavailable(QString why)
    {
        return {Kind::KeychainUnavailable, 0, std::move(why), {}};
    }
    static UsageServiceError credentialsUnreadable(QString fileAndWhy)
    {
        return {Kind::CredentialsUnreadable, 0, std::move(fileAndWhy), {}};
    }
    static UsageServiceError of(Kind kind) { return {kind, 0, {}, {}}; }

    bool isUnauthorized() const { return kind == Kind::InvalidResponse && code == 401; }
    bool isRateLimited() const { return kind == Kind::InvalidResponse && code == 429; }
    /// The stored sign-in was refused or has run out.
    bool isSignInExpired() const
    {
        return kind == Kind::TokenExpired || (kind == Kind::InvalidResponse && (code == 401 || code == 403));
    }
    /// Nothing to sign in with: no credentials file, keychain item or token in it.
    bool isNotSignedIn() const
    {
        return kind == Kind::ConfigFileNotFound || kind == Kind::KeychainNotFound || kind == Kind::TokenNotFound;
    }

    /// The user-facing text ("API returned HTTP 401: ...").
    QString description() const;
    /// Case name and payload, for the log ("keychainError(status: 44)").
    QString debugDescription() const;

    friend bool operator==(const UsageServiceError&, const UsageServiceError&) = default;
};

/**
 * What a person can do about a provider's failure, shown above the error's own text (which
 * stays as it is, for logs and scripts).
 */
struct ProviderNotice
{
    enum class Kind {
        Failed,      ///< anything else: the error text says it all
        NotSignedIn, ///< a hint, not an alarm: which file was looked for and what creates it
        Expired,
        RateLimited,
    };
    Kind kind = Kind::Failed;
    /// Empty for Failed.
    QString headline;
    /// When a rate-limited provider is asked again.
    std::optional<QDateTime> nextTry;

    friend bool operator==(const ProviderNotice&, const ProviderNotice&) = default;
};

/// The notice for `error` of `provider`; `nextTry` is when the refresh loop asks again.
ProviderNotice providerNotice(AIProvider provider, const UsageServiceError& error, const QDateTime& nextTry);

/// The credentials file a provider reads, with the home folder written as "~".
QString credentialsHint(AIProvider provider);

template<typename T>
using ServiceResult = Result<T, UsageServiceError>;

} // namespace tallyvue
