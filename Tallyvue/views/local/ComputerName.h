// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QDBusConnection;

namespace tallyvue {

/**
 * This computer's name as people know it: the pretty name the system's hostname service keeps
 * ("Anna's ThinkPad") once it has answered, else the host name. The views show it beside
 * "This Computer" and follow changed().
 */
class ComputerName : public QObject
{
    Q_OBJECT

public:
    static ComputerName& instance();

    /// Empty when the system names none.
    QString name() const { return m_name; }
    /// Asks org.freedesktop.hostname1 on `bus` (the system bus) for its pretty name. Never
    /// waits: the answer, if any, arrives later through changed().
    void lookUp(const QDBusConnection& bus);
    /// Pins the name (the gallery, tests).
    void setName(const QString& name);

Q_SIGNALS:
    void changed();

private:
    ComputerName();
    QString m_name;
};

} // namespace tallyvue
