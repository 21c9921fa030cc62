// SPDX-License-Identifier: MIT
#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace tallyvue {

/// What a save dialog offers: its title, the proposed file name and the one allowed type.
struct SaveRequest
{
    QString title;
    QString proposedName;
    QString typeName;     ///< "CSV"
    QStringList patterns; ///< {"*.csv"}
    QString mimeType;     ///< "text/csv"
};

/**
 * Asks where to save, without blocking: through the desktop portal's file chooser when the
 * session bus offers one (sandboxed or not, the desktop's own dialog), else with QFileDialog.
 * `done` runs once, with the chosen path or nothing when the user cancelled.
 */
void askSaveLocation(QWidget* parent, const SaveRequest& request, std::function<void(std::optional<QString>)> done,
                     const QDBusConnection& bus = QDBusConnection::sessionBus());

} // namespace tallyvue
