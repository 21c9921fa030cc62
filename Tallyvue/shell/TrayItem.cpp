// SPDX-License-Identifier: MIT
#include "shell/TrayItem.h"

#include "model/Log.h"
#include "shell/StatusNotifierItem.h"
#include "shell/TrayIconFiles.h"
#include "shell/TrayMenu.h"

#include <QDBusConnectionInterface>
#include <QDBusReply>
#include <QFile>
#include <QGuiApplication>
#include <QIcon>
#include <QMenu>
#include <QPixmap>
#include <QRegularExpression>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace tallyvue {

namespace {
// The usual panel sizes at 1x and 2x; hosts pick the nearest and scale it.
constexpr int kSizes[] = {16, 22, 24, 32, 44, 48, 64};

/// The command line of the process that owns `service` on `bus`, spaces between arguments.
QString ownerCommandLine(const QDBusConnection& bus, const QString& service)
{
    if (!bus.interface())
        return {};
    const QDBusReply<uint> pid = bus.interface()->servicePid(service);
    if (!pid.isValid())
        return {};
    QFile file(u"/proc/%1/cmdline"_s.arg(pid.value()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(4096);
    bytes.replace('\0', ' ');
    return QString::fromLocal8Bit(bytes).trimmed();
}
} // namespace

namespace {
QStringView programName(QStringView commandLine)
{
    const qsizetype space = commandLine.indexOf(u' ');
    const QStringView first = space < 0 ? commandLine : commandLine.left(space);
    return first.mid(first.lastIndexOf(u'/') + 1);
}
} // namespace

bool hostNeedsIconFiles(QStringView commandLine)
{
    const QStringView program = programName(commandLine);
    return program.startsWith(u"ayatana-indicator-application") || program == u"indicator-application-service";
}

bool hostShowsLabel(QStringView commandLine)
{
    // The label is Ayatana's: GNOME Shell's AppIndicator extension and the Ayatana (and older
    // Unity) indicator services show it beside the icon, MATE's notification area shows it in
    // place of our icon (which it never draws: the number comes through only as text).
    // Unity) indicator services show it. KDE Plasma, XFCE's Status Tray, the vala sntray host
    // (by default), waybar and XEmbed trays show only the icon, as does anything unknown.
    const QStringView program = programName(commandLine);
    return program == u"gnome-shell" || program.startsWith(u"ayatana-indicator-application") ||
           program == u"indicator-application-service" || program == u"notification-area-applet";
}

bool iconShowsPercent(TrayIconPercent choice, bool hostShowsLabel)
{
    switch (choice) {
    case TrayIconPercent::Always: return true;
    case TrayIconPercent::Never: return false;
    case TrayIconPercent::Automatic: break;
    }
    return !hostShowsLabel;
}

QString labelGuide(const QString& label)
{
    static const QRegularExpression percent(u"\\d+%"_s);
    static const QRegularExpression duration(u"\\d+"_s);
    QString guide = label;
    guide.replace(percent, u"100%"_s);
    guide.replace(duration, u"88"_s);
    guide.replace(u"88%"_s, u"100%"_s);
    return guide;
}

TrayItem::TrayItem(const QDBusConnection& bus, QObject* parent) : QObject(parent), m_bus(bus)
{
    m_poll.setInterval(1s);
    connect(&m_poll, &QTimer::timeout, this, &TrayItem::poll);
    m_giveUp.setSingleShot(true);
    connect(&m_giveUp, &QTimer::timeout, this, [this] {
        m_poll.stop();
        if (!isShown())
            Q_EMIT noTrayAppeared();
    });
}

TrayItem::~TrayItem() = default;

void TrayItem::start(std::chrono::milliseconds giveUpAfter)
{
    if (m_bus.isConnected()) {
        m_item = new StatusNotifierItem(m_bus, this);
        connect(m_item, &StatusNotifierItem::activated, this, &TrayItem::activated);
        connect(m_item, &StatusNotifierItem::contextMenuRequested, this, &TrayItem::contextMenuRequested);
        connect(m_item, &StatusNotifierItem::registered, this, [this] {
            // A watcher that appears later wins over the XEmbed icon: it can show the text too.
            if (m_systemTray) {
                m_systemTray->hide();
                m_systemTray->deleteLater();
                m_systemTray = nullptr;
            }
            identifyHost();
            m_poll.stop();
            m_giveUp.stop();
            Q_EMIT shown();
        });
        if (m_menu && m_menu->exportOn(m_bus))
            m_item->setMenuPath(TrayMenu::kPath.toString());
        // Known before the host first reads us: some never read the icon again.
        if (StatusNotifierItem::watcherPresent(m_bus))
            identifyHost();
        applyLabel();
        if (!m_item->start()) {
            delete m_item;
            m_item = nullptr;
        }
    }
    if (!m_item || !StatusNotifierItem::watcherPresent(m_bus)) {
        poll();
        if (!isShown())
            m_poll.start();
    }
    m_giveUp.start(giveUpAfter);
}

void TrayItem::poll()
{
    if (m_item && m_item->isRegistered())
        return;
    if (QSystemTrayIcon::isSystemTrayAvailable())
        useSystemTray();
}

void TrayItem::useSystemTray()
{
    if (m_systemTray)
        return;
    m_poll.stop();
    m_systemTray = new QSystemTrayIcon(this);
    connect(m_systemTray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason != QSystemTrayIcon::Context)
            Q_EMIT activated(QPoint());
    });
    if (m_menu)
        m_systemTray->setContextMenu(m_menu->menu());
    applyLabel();
    m_systemTray->show();
    m_giveUp.stop();
    Q_EMIT shown();
}

void TrayItem::setLabel(const TrayLabel& label)
{
    m_label = label;
    applyLabel();
}

void TrayItem::setMenu(TrayMenu* menu)
{
    m_menu = menu;
    if (m_systemTray)
        m_systemTray->setContextMenu(menu ? menu->menu() : nullptr);
}

void TrayItem::setPercentChoice(TrayIconPercent choice)
{
    if (choice == m_percentChoice)
        return;
    m_percentChoice = choice;
    applyLabel();
}

bool TrayItem::iconShowsPercent() const
{
    return tallyvue::iconShowsPercent(m_percentChoice, hostShowsLabel());
}

void TrayItem::identifyHost()
{
    const QString host = ownerCommandLine(m_bus, StatusNotifierItem::kWatcherService.toString());
    const bool showsLabel = tallyvue::hostShowsLabel(host);
    if (host != m_hostCommandLine) // asked again on every registration
        log(u"Tray host: "_s + (host.isEmpty() ? u"unknown"_s : host.section(u' ', 0, 0)) +
            (showsLabel ? u" (shows the label)"_s : u" (icon only)"_s));
    m_hostCommandLine = host;
    const bool needsFiles = tallyvue::hostNeedsIconFiles(host);
    m_item->setAnswersAyatanaActivation(needsFiles); // the same Ayatana services
    if (needsFiles != bool(m_iconFiles)) {
        m_iconFiles = needsFiles ? std::make_unique<TrayIconFiles>() : nullptr;
        if (!needsFiles)
            m_item->setIconFile({}, {});
        m_item->setIcon({}); // so that the next image is written out
    }
    m_hostShowsLabel = showsLabel;
    applyLabel(); // sends only what changed
}

QImage TrayItem::iconImage(int side) const
{
    const QColor foreground = trayForeground();
    return iconShowsPercent() ? renderPercentIcon(m_label, side, 1.0, foreground)
                              : renderTrayImage(m_label, side, 1.0, foreground);
}

void TrayItem::applyLabel()
{
    const QString description = m_label.toolTip == u"Tallyvue" ? QString() : m_label.toolTip;
    if (m_item) {
        SniIconPixmapList pixmaps;
        QList<QImage> images;
        for (int size : kSizes) {
            images.append(iconImage(size));
            pixmaps.append(SniIconPixmap::fromImage(images.last()));
        }
        if (m_item->setIcon(pixmaps) && m_iconFiles && m_iconFiles->write(images))
            m_item->setIconFile(m_iconFiles->iconName(), m_iconFiles->themePath());
        m_item->setToolTip(u"Tallyvue"_s, description);
        m_item->setLabel(m_label.text, labelGuide(m_label.text));
    }
    if (m_systemTray) {
        QIcon icon;
        for (int size : kSizes)
            icon.addPixmap(QPixmap::fromImage(iconImage(size)));
        m_systemTray->setIcon(icon);
        m_systemTray->setToolTip(description.isEmpty() ? u"Tallyvue"_s : u"Tallyvue: "_s + description);
    }
}

TrayItem::Kind TrayItem::kind() const
{
    if (m_item && m_item->isRegistered())
        return Kind::StatusNotifier;
    if (m_systemTray)
        return Kind::SystemTray;
    return Kind::None;
}

bool TrayItem::isShown() const
{
    return kind() != Kind::None;
}

QRect TrayItem::iconGeometry() const
{
    return m_systemTray ? m_systemTray->geometry() : QRect();
}

} // namespace tallyvue
