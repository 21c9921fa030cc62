// SPDX-License-Identifier: MIT
#include "providers/ProviderSupport.h"

#include "model/SafeFile.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace tallyvue {

std::optional<QString> decodeUtf8Strict(const QByteArray& bytes)
{
    // Stateless: a sequence cut off at the end is an error, not state kept for more input.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

ServiceResult<QByteArray> readCredentialFile(const QString& path)
{
    // Followed through links: the file is another program's, and users link such files.
    auto bytes = safefile::readRegularFile(path, safefile::kMaxSmallFileBytes, safefile::Links::Follow);
    if (bytes)
        return std::move(bytes).value();
    if (bytes.error().missing)
        return UsageServiceError::of(UsageServiceError::Kind::ConfigFileNotFound);
    return UsageServiceError::credentialsUnreadable(path + u" ("_s + bytes.error().reason + u')');
}

} // namespace tallyvue
