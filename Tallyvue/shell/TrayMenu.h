// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <memory>

class QMenu;

namespace tallyvue {

/// One entry of the tray menu; an entry without a label is a separator.
struct TrayMenuEntry
{
    QString label;
    std::function<void()> action;

    bool isSeparator() const { return label.isEmpty(); }
};

/// One node of a dbusmenu layout, as GetLayout sends it: (ia{sv}av).
struct DBusMenuLayoutItem
{
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};

/// The properties of one item, as GetGroupProperties sends them: (ia{sv}).
struct DBusMenuItemProperties
{
    int id = 0;
    QVariantMap properties;
};
using DBusMenuItemPropertiesList = QList<DBusMenuItemProperties>;

QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuLayoutItem& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& argument, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& argument, DBusMenuItemProperties& item);

/**
 * The tray item's menu, built from one list of entries: as a QMenu for the XEmbed tray and for
 * hosts that call ContextMenu, and as a com.canonical.dbusmenu object for StatusNotifier hosts,
 * which draw the menu themselves. A change of entries bumps the layout revision and sends
 * LayoutUpdated, so a host drops the menu it has cached.
 */
class TrayMenu : public QObject
{
    Q_OBJECT

public:
    static constexpr QStringView kPath = u"/MenuBar";

    explicit TrayMenu(QObject* parent = nullptr);
    ~TrayMenu() override;

    void setEntries(QList<TrayMenuEntry> entries);
    const QList<TrayMenuEntry>& entries() const { return m_entries; }
    /// The same entries as a QMenu (rebuilt with them).
    QMenu* menu() const { return m_menu.get(); }

    /// Serves the menu at kPath on `bus`.
    bool exportOn(QDBusConnection bus);
    uint revision() const { return m_revision; }

    // What the bus calls. Entry ids are 1-based positions; 0 is the root.
    DBusMenuLayoutItem layout(int parentId, int depth, const QStringList& propertyNames) const;
    DBusMenuItemPropertiesList groupProperties(const QList<int>& ids, const QStringList& propertyNames) const;
    /// Runs the entry for a "clicked" event; false for an unknown id.
    bool event(int id, const QString& eventId);
    using QObject::event;

Q_SIGNALS:
    void layoutUpdated(uint revision, int parent);

private:
    QVariantMap properties(int id, const QStringList& names) const;
    void rebuildMenu();

    QList<TrayMenuEntry> m_entries;
    std::unique_ptr<QMenu> m_menu;
    uint m_revision = 1;
    QDBusConnection m_bus{QString()};
};

} // namespace tallyvue

Q_DECLARE_METATYPE(tallyvue::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(tallyvue::DBusMenuItemProperties)
