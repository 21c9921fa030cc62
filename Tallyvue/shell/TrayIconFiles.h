// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QList>
#include <QString>

namespace tallyvue {

/**
 * The tray image as PNG files, for hosts that draw an item only from IconName and
 * IconThemePath (the Ayatana indicator service ignores IconPixmap). Each image gets a folder
 * and a name of its own, so a host's icon cache never serves an old picture under a new
 * number; the folder before the current one stays for a host still loading it, older ones go.
 * Everything lives in a folder of ours under XDG_RUNTIME_DIR and goes when we do.
 */
class TrayIconFiles
{
public:
    /// `root` is the folder to own; empty: "tallyvue-icons" under XDG_RUNTIME_DIR.
    explicit TrayIconFiles(QString root = {});
    ~TrayIconFiles();
    TrayIconFiles(const TrayIconFiles&) = delete;
    TrayIconFiles& operator=(const TrayIconFiles&) = delete;

    /// Writes one image set (square images, one per size); false when nothing could be written.
    bool write(const QList<QImage>& images);
    /// What the item exports after a successful write().
    QString iconName() const { return m_name; }
    QString themePath() const { return m_themePath; }

private:
    QString m_root;
    QString m_name;
    QString m_themePath;
    QString m_previous;
    int m_generation = 0;
};

} // namespace tallyvue
