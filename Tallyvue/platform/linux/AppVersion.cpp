// SPDX-License-Identifier: MIT
#include "platform/linux/AppVersion.h"

#include "BuildInfo.h"

#include <QCoreApplication>
#include <QDir>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

QString orQuestionMark(const char* text)
{
    const QString value = QString::fromUtf8(text);
    return value.isEmpty() ? u"?"_s : value;
}

} // namespace

QString shortVersion()
{
    return orQuestionMark(build::kVersion);
}

QString buildNumber()
{
    return orQuestionMark(build::kBuildNumber);
}

QString executablePath()
{
    return QCoreApplication::applicationFilePath();
}

std::optional<QString> localBuildLabel()
{
    return localBuildLabel(executablePath(), QDir::homePath());
}

std::optional<QString> localBuildLabel(const QString& executable, const QString& home)
{
    QStringList installed{u"/usr/"_s, u"/opt/"_s, u"/app/"_s, u"/snap/"_s};
    if (!home.isEmpty())
        installed.append(QDir::cleanPath(home) + u"/.local/"_s);
    // The configured prefix may be anywhere (a home folder too), so only its bin/ counts.
    const QString prefix = QDir::cleanPath(QString::fromUtf8(build::kInstallPrefix));
    if (prefix.startsWith(u'/') && prefix != u"/")
        installed.append(prefix + u"/bin/"_s);
    const QString path = QDir::cleanPath(executable);
    for (const QString& location : installed) {
        if (path.startsWith(location))
            return std::nullopt;
    }
    return u"Local build"_s;
}

} // namespace tallyvue
