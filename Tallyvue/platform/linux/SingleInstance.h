// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;
class QLocalSocket;

namespace tallyvue {

/**
 * Keeps one Tallyvue per user: the first copy listens on a per-user local socket; a later copy
 * finds it there, asks it to come forward and quits. A socket left behind by a crashed copy is
 * noticed (nobody answers) and taken over.
 */
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    /// True when this process is now the only copy. Otherwise the running copy has been asked
    /// to open its popover, the "Another instance" line is written, and the caller exits with 0.
    bool claim();

    /// True when a copy listens at socketPath(). It asks nothing of that copy (which drops a
    /// silent peer), so the tool that looks does not bring the popover forward.
    static bool isRunning();

    /// Where the running copy listens: in XDG_RUNTIME_DIR, else in a private folder of this user
    /// under the temporary folder (used only when nobody else can enter it).
    static QString socketPath();

private:
    void answer(QLocalSocket* socket);

    QLocalServer* m_server;
};

} // namespace tallyvue
