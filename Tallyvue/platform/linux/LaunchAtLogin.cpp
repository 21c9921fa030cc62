// SPDX-License-Identifier: MIT
#include "platform/linux/LaunchAtLogin.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <algorithm>
#include <optional>

using namespace Qt::StringLiterals;

namespace tallyvue {
namespace {

const QString kEntryName = u"autostart/tallyvue.desktop"_s;

/// The value of `key` in the [Desktop Entry] group, or none.
std::optional<QString> entryValue(const QString& path, QStringView key)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == u"[Desktop Entry]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (inMainGroup && equals > 0 && QStringView(line).left(equals).trimmed() == key)
            return line.mid(equals + 1).trimmed();
    }
    return std::nullopt;
}

bool switchedOff(const QString& path)
{
    return entryValue(path, u"Hidden") == u"true"_s || entryValue(path, u"X-GNOME-Autostart-enabled") == u"false"_s;
}

/// An entry installed for every user, which only a user entry with Hidden=true can switch off.
bool systemEntryExists()
{
    const QStringList dirs = QStandardPaths::standardLocations(QStandardPaths::GenericConfigLocation).mid(1);
    return std::any_of(dirs.begin(), dirs.end(),
                       [](const QString& dir) { return QFile::exists(dir + u'/' + kEntryName); });
}

std::optional<QString> writeEntry(const QString& path, const QByteArray& content)
{
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        return u"cannot create the folder "_s + QFileInfo(path).absolutePath();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        return u"cannot write "_s + path + u": "_s + file.errorString();
    return std::nullopt;
}

std::optional<QString> apply(bool enabled, const QString& executable)
{
    const QString path = launchAtLoginEntryPath();
    if (enabled) {
        const QString exec = detail::desktopExecArgument(executable);
        return writeEntry(path, "[Desktop Entry]\n"
                                "Type=Application\n"
                                "Name=Tallyvue\n"
                                "Comment=AI assistant quota usage in the tray\n"
                                "Exec=" +
                                    exec.toUtf8() +
                                    "\n"
                                    "Icon=tallyvue\n"
                                    "Terminal=false\n"
                                    "X-GNOME-Autostart-enabled=true\n");
    }
    if (systemEntryExists())
        return writeEntry(path, "[Desktop Entry]\nType=Application\nName=Tallyvue\nHidden=true\n");
    QFile file(path);
    if (file.exists() && !file.remove())
        return u"cannot remove "_s + path + u": "_s + file.errorString();
    return std::nullopt;
}

} // namespace

namespace detail {

QString desktopExecArgument(const QString& argument)
{
    // Inside quotes, ", `, $ and \ take a backslash; the file format then doubles every
    // backslash, and % stands for itself only as %%.
    static const QString kReserved = u" \t\n\"'\\><~|&;$*?#()`"_s;
    QString quoted;
    bool needsQuotes = argument.isEmpty();
    for (const QChar c : argument) {
        needsQuotes = needsQuotes || kReserved.contains(c);
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'\\', u"\\\\"_s).replace(u'%', u"%%"_s);
    return needsQuotes ? u'"' + quoted + u'"' : quoted;
}

} // namespace detail

QString launchAtLoginEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + kEntryName;
}

bool launchAtLoginEnabled()
{
    const QString path = launchAtLoginEntryPath();
    return QFile::exists(path) && !switchedOff(path);
}

bool setLaunchAtLogin(bool enabled, const QString& executable)
{
    const QString program = executable.isEmpty() ? QCoreApplication::applicationFilePath() : executable;
    if (const auto error = apply(enabled, program)) {
        log(u"Launch at login error: "_s + *error);
        return false;
    }
    return true;
}

} // namespace tallyvue
