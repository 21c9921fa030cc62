// SPDX-License-Identifier: MIT
// tallyvue-cli alert test|status: the threshold alerts' desktop side, without the tray.
#include "alerts/ThresholdAlerts.h"
#include "cli/Commands.h"
#include "model/Formatting.h"
#include "model/Preferences.h"
#include "platform/linux/FreedesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QTextStream>

#include <qcoro/qcorotask.h>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace tallyvue::cli {
namespace {

void printError(const QString& message)
{
    QTextStream(stderr) << "tallyvue-cli: " << printableText(message) << '\n';
}

QString describeServer(const FreedesktopNotifier::ServerInformation& server)
{
    QString text = server.name.isEmpty() ? u"unnamed server"_s : server.name;
    if (!server.version.isEmpty())
        text += u' ' + server.version;
    return printableText(text); // the names come from whatever owns the bus name
}

QCoro::Task<int> sendTest(FreedesktopNotifier& notifier)
{
    const auto server = co_await notifier.serverInformation();
    if (!server) {
        printError(u"cannot send the test alert: "_s + server.error());
        co_return 1;
    }
    ThresholdAlerts::sendTestAlert(std::nullopt);
    const auto delivered = co_await notifier.waitForDelivery();
    if (!delivered) {
        printError(u"the notification service did not take the test alert: "_s + delivered.error());
        co_return 1;
    }
    QTextStream(stdout) << "Sent a test alert through " << describeServer(*server) << ".\n";
    co_return 0;
}

QCoro::Task<int> showStatus(FreedesktopNotifier& notifier)
{
    const NotificationAuthorization status = co_await ThresholdAlerts::authorizationStatus();
    const ShowPreviews previews = co_await ThresholdAlerts::showPreviewsSetting();
    const auto server = co_await notifier.serverInformation();

    QTextStream out(stdout);
    out << "Notifications: " << displayText(status);
    if (server)
        out << " (" << describeServer(*server) << ")\n";
    else
        out << " (" << printableText(server.error()) << ")\n";
    out << "Show Previews: " << displayText(previews) << '\n';

    const Preferences& prefs = Preferences::instance();
    out << "Threshold alerts: " << (prefs.alertsEnabled() ? "on" : "off") << " (";
    for (const AIProvider provider : kAllProviders) {
        out << rawValue(provider) << ' ' << QString::number(ThresholdAlerts::threshold(provider)) << '%'
            << (provider == kAllProviders.back() ? ")\n" : ", ");
    }
    co_return status == NotificationAuthorization::Authorized ? 0 : 1;
}

} // namespace

int runAlert(const QStringList& args)
{
    if (args.isEmpty())
        return usageError(u"'alert' needs 'test' or 'status'"_s);
    const QString& command = args.first();
    if (command != u"test" && command != u"status")
        return usageError(u"unknown alert command '"_s + command + u'\'');
    if (args.size() > 1)
        return usageError(u"'alert "_s + command + u"' takes no arguments"_s);

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            printError(u"no D-Bus session bus (DBUS_SESSION_BUS_ADDRESS is not set), so no notification service "
                       "can be reached"_s);
        else
            printError(u"cannot reach the D-Bus session bus ("_s + bus.lastError().message() +
                       u"), so no notification service either"_s);
        return 1;
    }
    auto notifier = std::make_shared<FreedesktopNotifier>(bus);
    ThresholdAlerts::installNotifier(notifier);
    const int code = QCoro::waitFor(command == u"test" ? sendTest(*notifier) : showStatus(*notifier));
    ThresholdAlerts::installNotifier(nullptr);
    return code;
}

} // namespace tallyvue::cli
