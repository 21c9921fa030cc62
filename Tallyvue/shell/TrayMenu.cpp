// SPDX-License-Identifier: MIT
#include "shell/TrayMenu.h"

#include "model/Log.h"

#include <QDBusAbstractAdaptor>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusVariant>
#include <QMenu>

using namespace Qt::StringLiterals;

namespace tallyvue {

/// One event of EventGroup: (isvu).
struct DBusMenuEvent
{
    int id = 0;
    QString eventId;
    QDBusVariant data;
    uint timestamp = 0;
};

} // namespace tallyvue

Q_DECLARE_METATYPE(tallyvue::DBusMenuEvent)

namespace tallyvue {

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    // Children travel as variants, each holding a layout node of its own.
    argument.beginArray(qMetaTypeId<QDBusVariant>());
    for (const DBusMenuLayoutItem& child : item.children)
        argument << QDBusVariant(QVariant::fromValue(child));
    argument.endArray();
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    item.children.clear();
    argument.beginArray();
    while (!argument.atEnd()) {
        QDBusVariant child;
        argument >> child;
        const QVariant value = child.variant();
        if (value.canConvert<QDBusArgument>())
            item.children.append(qdbus_cast<DBusMenuLayoutItem>(value.value<QDBusArgument>()));
        else
            item.children.append(value.value<DBusMenuLayoutItem>());
    }
    argument.endArray();
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument << item.id << item.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item)
{
    argument.beginStructure();
    argument >> item.id >> item.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuEvent& event)
{
    argument.beginStructure();
    argument << event.id << event.eventId << event.data << event.timestamp;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuEvent& event)
{
    argument.beginStructure();
    argument >> event.id >> event.eventId >> event.data >> event.timestamp;
    argument.endStructure();
    return argument;
}

namespace detail {

/// com.canonical.dbusmenu on the bus; everything is forwarded to the menu.
class TrayMenuAdaptor : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.canonical.dbusmenu")
    Q_PROPERTY(uint Version READ version)
    Q_PROPERTY(QString TextDirection READ textDirection)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(QStringList IconThemePath READ iconThemePath)

public:
    explicit TrayMenuAdaptor(TrayMenu* menu) : QDBusAbstractAdaptor(menu), m_menu(menu)
    {
        connect(menu, &TrayMenu::layoutUpdated, this, &TrayMenuAdaptor::LayoutUpdated);
    }

    uint version() const { return 3; }
    QString textDirection() const { return u"ltr"_s; }
    QString status() const { return u"normal"_s; }
    QStringList iconThemePath() const { return {}; }

public Q_SLOTS:
    // Types in slots are spelled in full: QtDBus finds them by the name moc records.
    uint GetLayout(int parentId, int recursionDepth, const QStringList& propertyNames,
                   tallyvue::DBusMenuLayoutItem& layout)
    {
        layout = m_menu->layout(parentId, recursionDepth, propertyNames);
        return m_menu->revision();
    }
    QList<tallyvue::DBusMenuItemProperties> GetGroupProperties(const QList<int>& ids, const QStringList& propertyNames)
    {
        return m_menu->groupProperties(ids, propertyNames);
    }
    QDBusVariant GetProperty(int id, const QString& name)
    {
        const DBusMenuItemPropertiesList found = m_menu->groupProperties({id}, {name});
        return QDBusVariant(found.isEmpty() ? QVariant() : found.first().properties.value(name));
    }
    void Event(int id, const QString& eventId, const QDBusVariant&, uint) { m_menu->event(id, eventId); }
    QList<int> EventGroup(const QList<tallyvue::DBusMenuEvent>& events)
    {
        QList<int> unknown;
        for (const DBusMenuEvent& event : events) {
            if (!m_menu->event(event.id, event.eventId))
                unknown.append(event.id);
        }
        return unknown;
    }
    // The entries never change while the menu is open, so there is never anything to update.
    bool AboutToShow(int) { return false; }
    QList<int> AboutToShowGroup(const QList<int>&, QList<int>& idErrors)
    {
        idErrors.clear();
        return {};
    }

Q_SIGNALS:
    void LayoutUpdated(uint revision, int parent);
    void ItemActivationRequested(int id, uint timestamp);

private:
    TrayMenu* m_menu;
};

} // namespace detail

TrayMenu::TrayMenu(QObject* parent) : QObject(parent), m_menu(std::make_unique<QMenu>())
{
    static const bool typesRegistered = [] {
        qDBusRegisterMetaType<DBusMenuLayoutItem>();
        qDBusRegisterMetaType<DBusMenuItemProperties>();
        qDBusRegisterMetaType<DBusMenuItemPropertiesList>();
        qDBusRegisterMetaType<DBusMenuEvent>();
        qDBusRegisterMetaType<QList<DBusMenuEvent>>();
        return true;
    }();
    Q_UNUSED(typesRegistered);
    new detail::TrayMenuAdaptor(this);
}

TrayMenu::~TrayMenu()
{
    if (m_bus.isConnected())
        m_bus.unregisterObject(kPath.toString());
}

bool TrayMenu::exportOn(QDBusConnection bus)
{
    if (!bus.registerObject(kPath.toString(), this, QDBusConnection::ExportAdaptors)) {
        log(u"Could not export the tray menu: "_s + bus.lastError().message());
        return false;
    }
    m_bus = bus;
    return true;
}

void TrayMenu::setEntries(QList<TrayMenuEntry> entries)
{
    m_entries = std::move(entries);
    rebuildMenu();
    ++m_revision;
    Q_EMIT layoutUpdated(m_revision, 0);
}

void TrayMenu::rebuildMenu()
{
    m_menu->clear();
    for (const TrayMenuEntry& entry : std::as_const(m_entries)) {
        if (entry.isSeparator())
            m_menu->addSeparator();
        else
            m_menu->addAction(entry.label, this, [action = entry.action] {
                if (action)
                    action();
            });
    }
}

QVariantMap TrayMenu::properties(int id, const QStringList& names) const
{
    QVariantMap all;
    if (id == 0) {
        all.insert(u"children-display"_s, u"submenu"_s);
    } else {
        const TrayMenuEntry& entry = m_entries.at(id - 1);
        if (entry.isSeparator()) {
            all.insert(u"type"_s, u"separator"_s);
        } else {
            // An underscore marks the access key in dbusmenu labels; ours have none.
            QString label = entry.label;
            all.insert(u"label"_s, label.replace(u'_', u"__"_s));
            all.insert(u"enabled"_s, true);
        }
        all.insert(u"visible"_s, true);
    }
    if (names.isEmpty())
        return all;
    QVariantMap wanted;
    for (const QString& name : names) {
        if (all.contains(name))
            wanted.insert(name, all.value(name));
    }
    return wanted;
}

DBusMenuLayoutItem TrayMenu::layout(int parentId, int depth, const QStringList& propertyNames) const
{
    DBusMenuLayoutItem item;
    if (parentId < 0 || parentId > m_entries.size())
        return item;
    item.id = parentId;
    item.properties = properties(parentId, propertyNames);
    // The menu is flat: only the root has children.
    if (parentId == 0 && depth != 0) {
        for (int id = 1; id <= m_entries.size(); ++id)
            item.children.append({id, properties(id, propertyNames), {}});
    }
    return item;
}

DBusMenuItemPropertiesList TrayMenu::groupProperties(const QList<int>& ids, const QStringList& propertyNames) const
{
    DBusMenuItemPropertiesList result;
    for (int id : ids) {
        if (id >= 0 && id <= m_entries.size())
            result.append({id, properties(id, propertyNames)});
    }
    return result;
}

bool TrayMenu::event(int id, const QString& eventId)
{
    if (id < 1 || id > m_entries.size())
        return false;
    if (eventId != u"clicked")
        return true;
    // After the reply: the host waits for it, and the action may open a window or quit.
    if (const std::function<void()> action = m_entries.at(id - 1).action)
        QMetaObject::invokeMethod(this, action, Qt::QueuedConnection);
    return true;
}

} // namespace tallyvue

#include "TrayMenu.moc"
