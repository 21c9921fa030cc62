// SPDX-License-Identifier: MIT
#include "host/WidgetWindow.h"

#include "host/X11Desktop.h"
#include "logic/TimelinePlayer.h"
#include "ui/UsageWidgetView.h"

#include <QActionGroup>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainterPath>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QWindow>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;

namespace tallyvue::widget {

namespace {

constexpr int kScreenMargin = 24;
constexpr int kSaveDelayMs = 400;
const QString kFamilyKey = u"family"_s;

QSettings settings()
{
    return QSettings(u"Tallyvue"_s, u"tallyvue-widget"_s);
}

QString positionKey(WidgetFamily family)
{
    return u"position/"_s + rawValue(family);
}

} // namespace

WidgetWindow::WidgetWindow(UsageTimelineProvider::Source source, std::optional<WidgetFamily> family, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint), m_view(nullptr),
      m_player(new TimelinePlayer(UsageTimelineProvider(source), systemNow, this))
{
    const auto stored = familyFromRaw(settings().value(kFamilyKey).toString());
    m_view = new UsageWidgetView(family.value_or(stored.value_or(WidgetFamily::Small)), this);
    setWindowTitle(kWidgetDisplayName.toString());
    setObjectName(kWidgetKind.toString());
    setAttribute(Qt::WA_TranslucentBackground);
    // Focusable, so the keyboard reaches the menu (Menu, Shift+F10).
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(kWidgetDisplayName.toString());
    setAccessibleDescription(u"Menu key or Shift+F10 for the size, Open Tallyvue and Quit"_s);

    connect(m_player, &TimelinePlayer::entryChanged, this, [this] { m_view->setEntry(m_player->currentEntry()); });
    m_view->setEntry(m_player->currentEntry());
    if (source == UsageTimelineProvider::Source::File) {
        if (const auto path = snapshotFilePath()) {
            m_watcher = new SnapshotWatcher(*path, this);
            connect(m_watcher, &SnapshotWatcher::changed, m_player, &TimelinePlayer::reload);
        }
    }

    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(kSaveDelayMs);
    connect(&m_saveTimer, &QTimer::timeout, this, &WidgetWindow::savePosition);

    winId(); // the native window must exist for the desktop hints
    keepOnDesktopLayer(this);
    applyFamily();
}

WidgetWindow::~WidgetWindow()
{
    // Moves arrive from the window system a little late; keep the last place for certain.
    if (isVisible())
        savePosition();
}

WidgetFamily WidgetWindow::family() const
{
    return m_view->family();
}

void WidgetWindow::setFamily(WidgetFamily family)
{
    if (m_saveTimer.isActive())
        savePosition();
    settings().setValue(kFamilyKey, rawValue(family));
    m_view->setFamily(family);
    applyFamily();
}

void WidgetWindow::applyFamily()
{
    const QSize size = familySize(family());
    m_saveTimer.stop();
    setFixedSize(size);
    m_view->setGeometry(rect());
    move(rememberedPosition());
    m_saveTimer.stop(); // placing the window is not a move by the user
    if (QGuiApplication::platformName() == u"xcb" && !x11HasCompositor()) {
        // No compositor: cut the corners off instead of showing them black.
        QPainterPath shape;
        shape.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), 20, 20);
        setMask(QRegion(shape.toFillPolygon().toPolygon()));
    }
}

QPoint WidgetWindow::rememberedPosition() const
{
    const QVariant stored = settings().value(positionKey(family()));
    if (stored.isValid()) {
        // Pull a widget left partly off a screen back onto it; monitors come and go, so one whose
        // screen is gone starts afresh.
        const QRect frame(stored.toPoint(), size());
        QRect best;
        qint64 bestOverlap = 0;
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect overlap = screen->availableGeometry().intersected(frame);
            if (const qint64 area = qint64(overlap.width()) * overlap.height(); area > bestOverlap) {
                bestOverlap = area;
                best = screen->availableGeometry();
            }
        }
        if (!best.isEmpty()) {
            return {std::clamp(frame.left(), best.left(), std::max(best.left(), best.right() - width() + 1)),
                    std::clamp(frame.top(), best.top(), std::max(best.top(), best.bottom() - height() + 1))};
        }
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return {};
    const QRect available = screen->availableGeometry();
    return {available.right() - width() - kScreenMargin + 1, available.top() + kScreenMargin};
}

void WidgetWindow::savePosition()
{
    m_saveTimer.stop();
    settings().setValue(positionKey(family()), pos());
}

void WidgetWindow::moveEvent(QMoveEvent*)
{
    if (isVisible())
        m_saveTimer.start();
}

void WidgetWindow::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    // Let the window manager move it (works on X11 and Wayland); move it by hand where it cannot.
    if (!windowHandle() || !windowHandle()->startSystemMove())
        m_dragOffset = event->globalPosition().toPoint() - pos();
}

void WidgetWindow::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragOffset)
        move(event->globalPosition().toPoint() - *m_dragOffset);
}

void WidgetWindow::mouseReleaseEvent(QMouseEvent*)
{
    m_dragOffset.reset();
}

void WidgetWindow::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu opens at the middle, not wherever the pointer happens to be.
    showMenu(event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(rect().center()) : event->globalPos());
}

void WidgetWindow::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier) || event->key() == Qt::Key_Menu) {
        showMenu(mapToGlobal(rect().center()));
        return;
    }
    QWidget::keyPressEvent(event);
}

void WidgetWindow::showMenu(const QPoint& globalPos)
{
    QMenu menu(this);
    auto* sizes = new QActionGroup(&menu);
    for (const auto& [choice, label] :
         {std::pair{WidgetFamily::Small, u"Small"_s}, {WidgetFamily::Medium, u"Medium"_s}}) {
        QAction* action = menu.addAction(label, this, [this, size = choice] { setFamily(size); });
        action->setCheckable(true);
        action->setChecked(family() == choice);
        sizes->addAction(action);
    }
    menu.addSeparator();
    menu.addAction(u"Open Tallyvue"_s, this, [] { openApplication(); });
    menu.addSeparator();
    menu.addAction(u"Quit"_s, qApp, &QCoreApplication::quit);
    menu.exec(globalPos);
}

bool WidgetWindow::openApplication()
{
    // Prefer the copy installed beside this program, then whatever PATH offers.
    const QString sibling = QCoreApplication::applicationDirPath() + u"/tallyvue"_s;
    const QString program = QFileInfo(sibling).isExecutable() ? sibling : QStandardPaths::findExecutable(u"tallyvue"_s);
    if (!program.isEmpty() && QProcess::startDetached(program, {}))
        return true;
    std::fputs("tallyvue-widget: could not start tallyvue (is it installed?)\n", stderr);
    return false;
}

} // namespace tallyvue::widget
