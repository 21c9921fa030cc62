// SPDX-License-Identifier: MIT
#include "support/OutputCapture.h"

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
    QByteArray all;
    if (m_file < 0)
        return all;
    char buffer[4096];
    for (off_t offset = 0;;) {
        const ssize_t n = pread(m_file, buffer, sizeof buffer, offset);
        if (n <= 0)
            break;
        all.append(buffer, n);
        offset += n;
    }
    return all;
}

} // namespace tallyvue::test
