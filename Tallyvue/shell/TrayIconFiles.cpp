// SPDX-License-Identifier: MIT
#include "shell/TrayIconFiles.h"

#include "model/Log.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tallyvue {

namespace {
/// Our folder, private to the user; false when it is not a folder of ours.
bool makePrivateFolder(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    ::mkdir(name.constData(), 0700);
    struct stat info = {};
    return ::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}
} // namespace

TrayIconFiles::TrayIconFiles(QString root) : m_root(std::move(root))
{
    if (m_root.isEmpty()) {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (!runtime.isEmpty() && QDir(runtime).exists())
            m_root = runtime + u"/tallyvue-icons"_s;
    }
    if (m_root.isEmpty() || !makePrivateFolder(m_root)) {
        log(u"No private folder for the tray's icon files; hosts that need files show no picture"_s);
        m_root.clear();
        return;
    }
    // Left over from a copy that did not end cleanly.
    for (const QString& old : QDir(m_root).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        QDir(m_root + u'/' + old).removeRecursively();
}

TrayIconFiles::~TrayIconFiles()
{
    if (!m_root.isEmpty())
        QDir(m_root).removeRecursively();
}

bool TrayIconFiles::write(const QList<QImage>& images)
{
    if (m_root.isEmpty() || images.isEmpty())
        return false;
    const QString name = u"tallyvue-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++m_generation);
    const QString folder = m_root + u'/' + name;
    // Hosts look the name up in the folder itself (one picture, scaled) and in its hicolor
    // sizes (the sharp picture for the panel's size).
    bool written = QDir().mkpath(folder);
    const QImage* largest = &images.first();
    for (const QImage& image : images) {
        const QString sized = u"%1/hicolor/%2x%2/apps"_s.arg(folder).arg(image.width());
        written = written && QDir().mkpath(sized) && image.save(sized + u'/' + name + u".png"_s, "PNG");
        if (image.width() > largest->width())
            largest = &image;
    }
    written = written && largest->save(folder + u'/' + name + u".png"_s, "PNG");
    if (!written) {
        QDir(folder).removeRecursively();
        return false;
    }
    if (!m_previous.isEmpty())
        QDir(m_previous).removeRecursively();
    m_previous = m_themePath;
    m_themePath = folder;
    m_name = name;
    return true;
}

} // namespace tallyvue
