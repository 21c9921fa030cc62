// SPDX-License-Identifier: MIT
// Adding and removing the status line in Claude Code's settings.json. The file is the user's and
// other tools', so it is edited as text: every other member keeps its place, order and layout.
#include "cli/StatuslineSettings.h"

#include "cli/Commands.h"
#include "model/Formatting.h"
#include "model/SafeFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTextStream>

#include <algorithm>
#include <functional>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

const QString kMember = u"statusLine"_s;

/// A top-level member of a JSON object: where its key starts and its value ends.
struct Member
{
    QString key;
    qsizetype keyStart = 0;
    qsizetype valueStart = 0;
    qsizetype valueEnd = 0;
};

/// Walks text that QJsonDocument has accepted as an object, so it needs no error handling.
class Scanner
{
public:
    explicit Scanner(const QByteArray& text) : m_text(text) {}

    qsizetype skipSpace(qsizetype at) const
    {
        while (at < m_text.size() && QByteArrayView(" \t\r\n").contains(m_text[at]))
            ++at;
        return at;
    }

    qsizetype skipString(qsizetype at) const // at the opening quote; returns past the closing one
    {
        for (++at; at < m_text.size() && m_text[at] != '"'; ++at) {
            if (m_text[at] == '\\')
                ++at;
        }
        return at + 1;
    }

    qsizetype skipValue(qsizetype at) const
    {
        if (m_text[at] == '"')
            return skipString(at);
        if (m_text[at] != '{' && m_text[at] != '[') {
            while (at < m_text.size() && !QByteArrayView(",}] \t\r\n").contains(m_text[at]))
                ++at;
            return at;
        }
        int depth = 0;
        while (at < m_text.size()) {
            const char c = m_text[at];
            if (c == '"') {
                at = skipString(at);
                continue;
            }
            depth += (c == '{' || c == '[') ? 1 : (c == '}' || c == ']') ? -1 : 0;
            ++at;
            if (depth == 0)
                break;
        }
        return at;
    }

    QList<Member> members(qsizetype& closing) const
    {
        QList<Member> found;
        qsizetype at = skipSpace(skipSpace(0) + 1); // past '{'
        while (m_text[at] == '"') {
            Member member;
            member.keyStart = at;
            at = skipString(at);
            member.key = QJsonDocument::fromJson("[" + m_text.mid(member.keyStart, at - member.keyStart) + "]")
                             .array()
                             .at(0)
                             .toString();
            member.valueStart = skipSpace(skipSpace(at) + 1); // past ':'
            member.valueEnd = skipValue(member.valueStart);
            found.append(member);
            at = skipSpace(member.valueEnd);
            if (m_text[at] == ',')
                at = skipSpace(at + 1);
        }
        closing = at;
        return found;
    }

private:
    const QByteArray& m_text;
};

struct Parsed
{
    QByteArray text;
    QList<Member> members;
    qsizetype closing = 0; ///< the object's closing brace
    QJsonObject object;
    std::optional<QString> error;
};

Parsed parse(const QByteArray& settings)
{
    Parsed parsed{settings.trimmed().isEmpty() ? QByteArray("{}\n") : settings, {}, 0, {}, std::nullopt};
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(parsed.text, &error);
    if (error.error != QJsonParseError::NoError)
        parsed.error = u"it is not valid JSON ("_s + error.errorString() + u" at byte "_s +
                       QString::number(error.offset) + u')';
    else if (!document.isObject())
        parsed.error = u"it does not hold a JSON object"_s;
    else {
        parsed.object = document.object();
        parsed.members = Scanner(parsed.text).members(parsed.closing);
    }
    return parsed;
}

bool isOurs(const QJsonValue& statusLine)
{
    const QString command = statusLine.toObject().value(u"command").toString();
    return command.contains(u"tallyvue-cli"_s) && command.contains(u"statusline"_s);
}

QByteArray jsonString(const QString& text)
{
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

/// The indentation of the members, as the file has it ("  " when it has none yet).
QByteArray indentOf(const Parsed& parsed)
{
    if (parsed.members.isEmpty())
        return "  ";
    const qsizetype start = parsed.members.first().keyStart;
    const qsizetype lineStart = parsed.text.lastIndexOf('\n', start) + 1;
    if (lineStart == 0)
        return " "; // a one-line object: members follow each other
    return parsed.text.mid(lineStart, start - lineStart);
}

/// A shell word for Claude Code, which runs the command through sh.
QString shellWord(const QString& word)
{
    static const QString plain = u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-,=+:"_s;
    if (!word.isEmpty() && std::all_of(word.begin(), word.end(), [](QChar c) { return plain.contains(c); }))
        return word;
    QString quoted = word;
    return u'\'' + quoted.replace(u'\'', u"'\\''"_s) + u'\'';
}

/// "tallyvue-cli" when that name finds this very program, else its full path.
QString programWord()
{
    const QString own = QCoreApplication::applicationFilePath();
    const QString found = QStandardPaths::findExecutable(u"tallyvue-cli"_s);
    if (!found.isEmpty() && QFileInfo(found).canonicalFilePath() == QFileInfo(own).canonicalFilePath())
        return u"tallyvue-cli"_s;
    return shellWord(own);
}

QString settingsPath()
{
    const QString config = qEnvironmentVariable("CLAUDE_CONFIG_DIR");
    return (config.isEmpty() ? QDir::homePath() + u"/.claude"_s : config) + u"/settings.json"_s;
}

QString shown(const QString& path)
{
    const QString home = QDir::homePath();
    return path.startsWith(home + u'/') ? u"~"_s + path.mid(home.size()) : path;
}

/// Reads, edits and writes back the settings file (through a link to wherever it points).
int editSettings(const std::function<SettingsEdit(const QByteArray&)>& edit)
{
    const QString path = settingsPath();
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto read = safefile::readRegularFile(path, safefile::kMaxSmallFileBytes, safefile::Links::Follow);
    if (!read && !read.error().missing) {
        err << "tallyvue-cli: " << printableText(read.error().message) << "; nothing was changed\n";
        return 1;
    }
    const SettingsEdit result = edit(read ? read.value() : QByteArray());
    if (result.refused) {
        err << "tallyvue-cli: " << shown(path) << ": " << result.message << '\n';
        return 1;
    }
    if (result.text) {
        // A link (a dotfiles folder) stays a link: the file it points to is replaced.
        const QFileInfo info(path);
        const QString target = !info.isSymLink()                 ? path
                               : info.canonicalFilePath().isEmpty() ? info.symLinkTarget()
                                                                    : info.canonicalFilePath();
        if (const auto why =
                QFileInfo::exists(target) ? std::nullopt : safefile::makePrivateFolder(QFileInfo(target).path())) {
            err << "tallyvue-cli: " << printableText(*why) << '\n';
            return 1;
        }
        if (const auto why = safefile::writeFileAtomically(target, *result.text)) {
            err << "tallyvue-cli: " << printableText(*why) << "; nothing was changed\n";
            return 1;
        }
    }
    out << shown(path) << ": " << result.message << '\n';
    return 0;
}

} // namespace

SettingsEdit withStatusLine(const QByteArray& settings, const QString& command, bool force)
{
    const Parsed parsed = parse(settings);
    if (parsed.error)
        return {std::nullopt, *parsed.error + u"; fix or remove it, nothing was changed"_s, true};
    const QJsonValue existing = parsed.object.value(kMember);
    const QByteArray value =
        R"({"type": "command", "command": )" + jsonString(command) + R"(, "padding": 0})";
    if (existing.toObject().value(u"command") == command)
        return {std::nullopt, u"the status line already runs \""_s + command + u'"', false};
    if (!existing.isUndefined() && !isOurs(existing) && !force)
        return {std::nullopt,
                u"it already has a status line (\""_s + existing.toObject().value(u"command").toString() +
                    u"\"); add --force to replace it"_s,
                true};

    QByteArray text = parsed.text;
    const auto member = std::find_if(parsed.members.rbegin(), parsed.members.rend(),
                                     [](const Member& m) { return m.key == kMember; });
    if (member != parsed.members.rend()) {
        text.replace(member->valueStart, member->valueEnd - member->valueStart, value);
    } else if (parsed.members.isEmpty()) {
        text.replace(0, parsed.closing + 1, QByteArray("{\n  \"statusLine\": " + value + "\n}"));
    } else {
        const QByteArray indent = indentOf(parsed);
        const QByteArray separator = indent == " " ? QByteArray(", ") : QByteArray(",\n" + indent);
        text.insert(parsed.members.last().valueEnd, QByteArray(separator + "\"statusLine\": " + value));
    }
    if (!text.endsWith('\n'))
        text += '\n';
    return {text, u"Claude Code now runs \""_s + command + u"\" for its status line"_s, false};
}

SettingsEdit withoutStatusLine(const QByteArray& settings, bool force)
{
    const Parsed parsed = parse(settings);
    if (parsed.error)
        return {std::nullopt, *parsed.error + u"; fix or remove it, nothing was changed"_s, true};
    const qsizetype at = std::find_if(parsed.members.cbegin(), parsed.members.cend(),
                                      [](const Member& m) { return m.key == kMember; }) -
                         parsed.members.cbegin();
    if (at == parsed.members.size())
        return {std::nullopt, u"there is no status line to remove"_s, false};
    if (!isOurs(parsed.object.value(kMember)) && !force)
        return {std::nullopt, u"its status line is another program's; add --force to remove it"_s, true};

    QByteArray text = parsed.text;
    const Member& member = parsed.members[at];
    if (at + 1 < parsed.members.size()) // up to the next member, taking the comma along
        text.remove(member.keyStart, parsed.members[at + 1].keyStart - member.keyStart);
    else if (at > 0) // from the end of the previous member, taking its comma along
        text.remove(parsed.members[at - 1].valueEnd, member.valueEnd - parsed.members[at - 1].valueEnd);
    else
        text.remove(member.keyStart, Scanner(text).skipSpace(member.valueEnd) - member.keyStart);
    return {text, u"removed the status line"_s, false};
}

int installStatusline(const QStringList& lineArgs, bool force)
{
    QStringList words{programWord(), u"statusline"_s};
    for (const QString& arg : lineArgs)
        words.append(shellWord(arg));
    const QString command = words.join(u' ');
    return editSettings([&](const QByteArray& settings) { return withStatusLine(settings, command, force); });
}

int uninstallStatusline(bool force)
{
    return editSettings([&](const QByteArray& settings) { return withoutStatusLine(settings, force); });
}

} // namespace tallyvue::cli
