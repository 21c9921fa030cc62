// SPDX-License-Identifier: MIT
#include "support/OutputCapture.h"

#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace tallyvue::test {

OutputCapture::OutputCapture()
{
    const char* dir = std::getenv("TMPDIR");
    QByteArray pattern(dir && *dir ? dir : "/tmp");
    pattern.append("/tallyvue-output-XXXXXX");
    m_file = mkstemp(pattern.data());
    if (m_file < 0)
        return;
    unlink(pattern.constData());
    std::fflush(stdout);
    m_saved = dup(STDOUT_FILENO);
    dup2(m_file, STDOUT_FILENO);
}

OutputCapture::~OutputCapture()
{
    restore();
    if (m_file >= 0)
        close(m_file);
}

void OutputCapture::restore()
{
    if (m_saved < 0)
        return;
    std::fflush(stdout);
    dup2(m_saved, STDOUT_FILENO);
    close(m_saved);
    m_saved = -1;
}

QByteArray OutputCapture::text()
{
    restore();
    QFile file;
    if (m_file < 0 || !file.open(m_file, QIODevice::ReadOnly, QFileDevice::DontCloseHandle) || !file.seek(0))
        return {};
    return file.readAll();
}

} // namespace tallyvue::test
