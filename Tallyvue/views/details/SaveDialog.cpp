// SPDX-License-Identifier: MIT
#include "views/details/SaveDialog.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusReply>
#include <QFileDialog>
#include <QGuiApplication>
#include <QPointer>
#include <QRandomGenerator>
#include <QUrl>
#include <QWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {

const QString kPortalService = u"org.freedesktop.portal.Desktop"_s;
const QString kPortalPath = u"/org/freedesktop/portal/desktop"_s;

/// One rule of a portal filter: 0 for a glob pattern, 1 for a MIME type.
struct PortalFilterRule
{
    uint type = 0;
    QString pattern;
};
struct PortalFilter
{
    QString name;
    QList<PortalFilterRule> rules;
};

} // namespace
} // namespace tallyvue

Q_DECLARE_METATYPE(tallyvue::PortalFilterRule)
Q_DECLARE_METATYPE(tallyvue::PortalFilter)

namespace tallyvue {
namespace {

QDBusArgument& operator<<(QDBusArgument& argument, const PortalFilterRule& rule)
{
    argument.beginStructure();
    argument << rule.type << rule.pattern;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalFilterRule& rule)
{
    argument.beginStructure();
    argument >> rule.type >> rule.pattern;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const PortalFilter& filter)
{
    argument.beginStructure();
    argument << filter.name << filter.rules;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalFilter& filter)
{
    argument.beginStructure();
    argument >> filter.name >> filter.rules;
    argument.endStructure();
    return argument;
}

bool portalAvailable(const QDBusConnection& bus)
{
    if (!bus.isConnected() || !bus.interface())
        return false;
    if (bus.interface()->isServiceRegistered(kPortalService))
        return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kPortalService);
}

/// Waits for the portal's Response on one request object; lives until it arrives.
class PortalRequest : public QObject
{
    Q_OBJECT

public:
    PortalRequest(const QDBusConnection& bus, std::function<void(std::optional<QString>)> done)
        : m_bus(bus), m_done(std::move(done))
    {
    }

    bool listen(const QString& path)
    {
        if (path == m_path)
            return true;
        if (!m_path.isEmpty())
            m_bus.disconnect({}, m_path, u"org.freedesktop.portal.Request"_s, u"Response"_s, this,
                             SLOT(onResponse(uint, QVariantMap)));
        m_path = path;
        // QtDBus only takes slot names for bus signals.
        return m_bus.connect({}, path, u"org.freedesktop.portal.Request"_s, u"Response"_s, this,
                             SLOT(onResponse(uint, QVariantMap)));
    }

    /// Drops the request without an answer (the caller asks another way).
    void abandon()
    {
        m_done = nullptr;
        deleteLater();
    }

    void finish(std::optional<QString> path)
    {
        if (m_done) {
            auto done = std::move(m_done);
            m_done = nullptr;
            done(std::move(path));
        }
        deleteLater();
    }

public Q_SLOTS:
    void onResponse(uint response, const QVariantMap& results)
    {
        std::optional<QString> chosen;
        const QStringList uris = results.value(u"uris"_s).toStringList();
        if (response == 0 && !uris.isEmpty()) {
            const QUrl url(uris.first());
            if (url.isLocalFile())
                chosen = url.toLocalFile();
        }
        finish(std::move(chosen));
    }

private:
    QDBusConnection m_bus;
    QString m_path;
    std::function<void(std::optional<QString>)> m_done;
};

void askWithFileDialog(QWidget* parent, const SaveRequest& request, std::function<void(std::optional<QString>)> done)
{
    auto* dialog = new QFileDialog(parent, request.title);
    dialog->setObjectName(u"saveDialog"_s);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setNameFilter(request.typeName + u" ("_s + request.patterns.join(u' ') + u')');
    if (!request.patterns.isEmpty())
        dialog->setDefaultSuffix(request.patterns.first().section(u'.', -1));
    dialog->selectFile(request.proposedName);
    QObject::connect(dialog, &QDialog::finished, dialog, [dialog, done = std::move(done)](int result) {
        const QStringList files = dialog->selectedFiles();
        if (result == QDialog::Accepted && !files.isEmpty())
            done(files.first());
        else
            done(std::nullopt);
    });
    dialog->open();
}

} // namespace

void askSaveLocation(QWidget* parent, const SaveRequest& request, std::function<void(std::optional<QString>)> done,
                     const QDBusConnection& bus)
{
    if (!portalAvailable(bus)) {
        askWithFileDialog(parent, request, std::move(done));
        return;
    }
    qDBusRegisterMetaType<PortalFilterRule>();
    qDBusRegisterMetaType<QList<PortalFilterRule>>();
    qDBusRegisterMetaType<PortalFilter>();
    qDBusRegisterMetaType<QList<PortalFilter>>();

    PortalFilter filter{request.typeName, {}};
    for (const QString& pattern : request.patterns)
        filter.rules.append({0, pattern});
    if (!request.mimeType.isEmpty())
        filter.rules.append({1, request.mimeType});
    const QString token = u"tallyvue%1"_s.arg(QRandomGenerator::global()->generate());
    QVariantMap options{
        {u"handle_token"_s, token},
        {u"modal"_s, true},
        {u"current_name"_s, request.proposedName},
        {u"filters"_s, QVariant::fromValue(QList<PortalFilter>{filter})},
        {u"current_filter"_s, QVariant::fromValue(filter)},
    };
    QString parentWindow;
    if (parent && QGuiApplication::platformName() == u"xcb")
        parentWindow = u"x11:"_s + QString::number(parent->window()->winId(), 16);

    // Listen on the request path the portal will use before asking, so no answer is missed.
    auto shared = std::make_shared<std::function<void(std::optional<QString>)>>(std::move(done));
    auto* pending = new PortalRequest(bus, [shared](std::optional<QString> path) { (*shared)(std::move(path)); });
    QString sender = bus.baseService().mid(1).replace(u'.', u'_');
    pending->listen(u"/org/freedesktop/portal/desktop/request/"_s + sender + u'/' + token);

    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath,
                                                       u"org.freedesktop.portal.FileChooser"_s, u"SaveFile"_s);
    call << parentWindow << request.title << options;
    // The user may take minutes to answer; the reply itself only hands back the request path.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), pending);
    QPointer<QWidget> guard(parent);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, pending,
                     [pending, watcher, guard, request, shared](QDBusPendingCallWatcher*) {
                         const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
                         watcher->deleteLater();
                         if (reply.isError()) {
                             // No usable portal after all: the dialog of our own.
                             pending->abandon();
                             askWithFileDialog(guard, request, *shared);
                             return;
                         }
                         pending->listen(reply.value().path());
                     });
}

} // namespace tallyvue

#include "SaveDialog.moc"
