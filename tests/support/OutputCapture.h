// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

namespace tallyvue::test {

/// Collects what the process writes to standard output (the "[Tallyvue] ..." lines) from its
/// construction until text() is called. Call text() before asserting, or gtest's own report of a
/// failure is captured too.
class OutputCapture
{
public:
    OutputCapture();
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    /// Stops capturing and returns everything written meanwhile (again on later calls).
    QByteArray text();

private:
    void restore();
    int m_saved = -1;
    int m_file = -1;
};

} // namespace tallyvue::test
