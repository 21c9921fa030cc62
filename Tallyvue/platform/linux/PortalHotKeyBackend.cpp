// SPDX-License-Identifier: MIT
#include "platform/linux/PortalHotKeyBackend.h"

#include "model/Log.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QPointer>

#include <qcoro/qcorodbuspendingcall.h>
#include <qcoro/qcorosignal.h>

#include <chrono>

using namespace Qt::StringLiterals;

namespace tallyvue::detail {

/// One entry of the portal's a(sa{sv}) shortcut list.
struct PortalShortcut
{
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut)
{
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

/// Waits for one Request object's Response signal.
class PortalResponse : public QObject
{
    Q_OBJECT

public:
    bool received = false;
    uint code = 2;
    QVariantMap results;

public Q_SLOTS:
    void onResponse(uint response, const QVariantMap& values)
    {
        received = true;
        code = response;
        results = values;
        Q_EMIT done();
    }

Q_SIGNALS:
    void done();
};

} // namespace tallyvue::detail

Q_DECLARE_METATYPE(tallyvue::detail::PortalShortcut)

namespace tallyvue {
namespace {

const QString kPortalService = u"org.freedesktop.portal.Desktop"_s;
const QString kPortalPath = u"/org/freedesktop/portal/desktop"_s;
const QString kShortcuts = u"org.freedesktop.portal.GlobalShortcuts"_s;
const QString kShortcutId = u"open-tallyvue"_s;
// The user may be looking at the desktop's confirmation dialog; give them time.
constexpr std::chrono::minutes kResponseTimeout{5};
constexpr int kNoPortal = -1;

/// The session handle: a string in current portals, an object path in early ones.
QString sessionText(const QVariant& value)
{
    if (value.metaType() == QMetaType::fromType<QDBusObjectPath>())
        return value.value<QDBusObjectPath>().path();
    return value.toString();
}

// Argument lists are built outside the coroutines: GCC 12 cannot keep initializer lists in a
// coroutine frame.
QVariantList createSessionArguments(const QString& token)
{
    return {QVariantMap{{u"session_handle_token"_s, token}}};
}

QVariantList bindArguments(const QString& session, const HotKeyCombination& combination)
{
    const QList<detail::PortalShortcut> shortcuts{
        {kShortcutId,
         {{u"description"_s, u"Open Tallyvue"_s},
          {u"preferred_trigger"_s, PortalHotKeyBackend::trigger(combination)}}}};
    return {QVariant::fromValue(QDBusObjectPath(session)), QVariant::fromValue(shortcuts), QString(), QVariantMap()};
}

} // namespace

PortalHotKeyBackend::PortalHotKeyBackend(const QDBusConnection& bus, QObject* parent)
    : HotKeyBackend(parent), m_bus(bus)
{
    qDBusRegisterMetaType<detail::PortalShortcut>();
    qDBusRegisterMetaType<QList<detail::PortalShortcut>>();
    // The slot's types are looked up by name: in a process that has not used an object path
    // yet, the connection would fail and no shortcut would ever arrive.
    qRegisterMetaType<QDBusObjectPath>();
    m_bus.connect(kPortalService, kPortalPath, kShortcuts, u"Activated"_s, this,
                  SLOT(onActivated(QDBusObjectPath, QString, qulonglong, QVariantMap)));
}

PortalHotKeyBackend::~PortalHotKeyBackend()
{
    release();
}

QString PortalHotKeyBackend::trigger(const HotKeyCombination& combination)
{
    QString text;
    if (combination.control)
        text += u"CTRL+"_s;
    if (combination.shift)
        text += u"SHIFT+"_s;
    if (combination.alt)
        text += u"ALT+"_s;
    if (combination.keysym == 0x20)
        return text + u"space"_s;
    return text + QChar(char16_t(combination.keysym));
}

int PortalHotKeyBackend::grab(const HotKeyCombination& combination)
{
    release();
    bind(combination, m_generation);
    return 0; // the portal answers later; a refusal comes through `refused`
}

void PortalHotKeyBackend::release()
{
    ++m_generation; // a bind still waiting for the portal is dropped when it resumes
    if (m_session.isEmpty())
        return;
    QDBusMessage close =
        QDBusMessage::createMethodCall(kPortalService, m_session, u"org.freedesktop.portal.Session"_s, u"Close"_s);
    m_bus.asyncCall(close);
    m_session.clear();
}

QCoro::Task<> PortalHotKeyBackend::bind(HotKeyCombination combination, quint64 generation)
{
    QPointer<PortalHotKeyBackend> self(this);
    const auto session = co_await request(kShortcuts, u"CreateSession"_s,
                                          createSessionArguments(u"tallyvue"_s + QString::number(++m_tokens)));
    if (!self)
        co_return;
    if (!session) {
        if (generation == m_generation)
            refuse(session.error());
        co_return;
    }
    const QString handle = sessionText(session->value(u"session_handle"_s));
    if (generation != m_generation) {
        // Replaced or released while the portal was answering: this session is not wanted.
        m_bus.asyncCall(
            QDBusMessage::createMethodCall(kPortalService, handle, u"org.freedesktop.portal.Session"_s, u"Close"_s));
        co_return;
    }
    m_session = handle;

    const auto bound = co_await request(kShortcuts, u"BindShortcuts"_s, bindArguments(handle, combination));
    if (self && !bound && generation == m_generation)
        refuse(bound.error());
}

void PortalHotKeyBackend::refuse(int status)
{
    Q_EMIT refused(status);
    if (m_hinted)
        return;
    m_hinted = true;
    // Compositors without the portal (sway, river, ...) still run commands on keys,
    // and a second copy hands over to this one.
    log(u"No global shortcut from this desktop; bind a key to run `tallyvue` instead, which opens the running "
        u"copy's popover (sway/i3: bindsym Ctrl+Alt+q exec tallyvue)"_s);
}

QCoro::Task<Result<QVariantMap, int>> PortalHotKeyBackend::request(const QString& interface, const QString& method,
                                                                   QVariantList arguments)
{
    // Listen on the Request path before calling, so the answer cannot slip past us.
    const QString token = u"tallyvue"_s + QString::number(++m_tokens);
    QString sender = m_bus.baseService().mid(1);
    sender.replace(u'.', u'_');
    const QString requestPath = kPortalPath + u"/request/"_s + sender + u'/' + token;
    QVariantMap options = arguments.takeLast().toMap();
    options.insert(u"handle_token"_s, token);
    arguments.append(options);

    detail::PortalResponse response;
    const auto listen = [&](const QString& path) {
        return m_bus.connect(kPortalService, path, u"org.freedesktop.portal.Request"_s, u"Response"_s, &response,
                             SLOT(onResponse(uint, QVariantMap)));
    };
    listen(requestPath);
    QDBusMessage message = QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = co_await m_bus.asyncCall(message);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        co_return kNoPortal;
    // Old portals pick their own request path and say so in the reply.
    const QString actualPath = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (!actualPath.isEmpty() && actualPath != requestPath)
        listen(actualPath);
    if (!response.received) {
        const auto answered = co_await qCoro(&response, &detail::PortalResponse::done, kResponseTimeout);
        if (!answered)
            co_return kNoPortal;
    }
    if (response.code != 0)
        co_return int(response.code);
    co_return response.results;
}

void PortalHotKeyBackend::onActivated(const QDBusObjectPath& session, const QString& shortcutId, qulonglong timestamp,
                                      const QVariantMap& options)
{
    Q_UNUSED(timestamp);
    Q_UNUSED(options);
    if (!m_session.isEmpty() && session.path() == m_session && shortcutId == kShortcutId)
        Q_EMIT pressed();
}

} // namespace tallyvue

#include "PortalHotKeyBackend.moc"
