// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace tallyvue::test {

/// Collects what the process writes to standard output (the "[Tallyvue] ..." lines) while alive.
class OutputCapture
{
public:
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    /// Everything written so far.
    QByteArray text();

private:
    int m_saved = -1;
    int m_file = -1;
};

} // namespace tallyvue::test
