// SPDX-License-Identifier: MIT
#pragma once

#include "model/Result.h"

#include <QString>

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
        DecodingFailed,      ///< the response was not the expected JSON; `message` says why
        KeychainUnavailable, ///< the keychain tool could not run (missing, no session bus, hung); `message` says why
        CredentialsUnreadable, ///< a credentials file exists but cannot be read; `message` names it and says why
    };

    Kind kind = Kind::NetworkError;
    int code = 0;
    QString message;

    static UsageServiceError keychainError(int status) { return {Kind::KeychainError, status, {}}; }
    static UsageServiceError invalidResponse(int status, QString body)
    {
        return {Kind::InvalidResponse, status, std::move(body)};
    }
    static UsageServiceError networkError(QString text) { return {Kind::NetworkError, 0, std::move(text)}; }
    static UsageServiceError tokenExpired(QString text) { return {Kind::TokenExpired, 0, std::move(text)}; }
    static UsageServiceError decodingFailed(QString text) { return {Kind::DecodingFailed, 0, std::move(text)}; }
    static UsageServiceError keychainUnavailable(QString why) { return {Kind::KeychainUnavailable, 0, std::move(why)}; }
    static UsageServiceError credentialsUnreadable(QString fileAndWhy)
    {
        return {Kind::CredentialsUnreadable, 0, std::move(fileAndWhy)};
    }
    static UsageServiceError of(Kind kind) { return {kind, 0, {}}; }

    bool isUnauthorized() const { return kind == Kind::InvalidResponse && code == 401; }

    /// The user-facing text ("API returned HTTP 401: ...").
    QString description() const;
    /// Case name and payload, for the log ("keychainError(status: 44)").
    QString debugDescription() const;

    friend bool operator==(const UsageServiceError&, const UsageServiceError&) = default;
};

template<typename T>
using ServiceResult = Result<T, UsageServiceError>;

} // namespace tallyvue
