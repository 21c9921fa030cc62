// SPDX-License-Identifier: MIT
#include "shell/TrayItem.h"

#include "shell/StatusNotifierItem.h"

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
// 1x and 2x of the usual panel sizes.
constexpr int kSizes[] = {16, 22, 32, 44};
} // namespace

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
            m_poll.stop();
            m_giveUp.stop();
            Q_EMIT shown();
        });
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
        m_systemTray->setContextMenu(m_menu);
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

void TrayItem::setContextMenu(QMenu* menu)
{
    m_menu = menu;
    if (m_systemTray)
        m_systemTray->setContextMenu(menu);
}

void TrayItem::applyLabel()
{
    const QColor foreground = trayForeground();
    const QString description = m_label.toolTip == u"Tallyvue" ? QString() : m_label.toolTip;
    if (m_item) {
        SniIconPixmapList pixmaps;
        for (int size : kSizes)
            pixmaps.append(SniIconPixmap::fromImage(renderTrayImage(m_label, size, 1.0, foreground)));
        m_item->setIcon(pixmaps);
        m_item->setToolTip(u"Tallyvue"_s, description);
        m_item->setLabel(m_label.text, labelGuide(m_label.text));
    }
    if (m_systemTray) {
        QIcon icon;
        for (int size : kSizes)
            icon.addPixmap(QPixmap::fromImage(renderTrayImage(m_label, size, 1.0, foreground)));
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
