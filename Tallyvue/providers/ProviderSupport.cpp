// SPDX-License-Identifier: MIT
#include "providers/ProviderSupport.h"

#include <QFile>
#include <QStringDecoder>

namespace tallyvue {
namespace {
// Real credential files are a few hundred bytes.
constexpr qint64 kMaxCredentialFileBytes = 1024 * 1024;
} // namespace

std::optional<QString> decodeUtf8Strict(const QByteArray& bytes)
{
    // Stateless: a sequence cut off at the end is an error, not state kept for more input.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

std::optional<QByteArray> readCredentialFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.read(kMaxCredentialFileBytes + 1);
    if (bytes.size() > kMaxCredentialFileBytes || file.error() != QFileDevice::NoError)
        return std::nullopt;
    return bytes;
}

} // namespace tallyvue
