#pragma once
// Where modules below the windows (the record of a run, the posterior analysis) write
// plain report lines; the log window is the program's one sink.

#include <QString>

namespace kelvo {

class LogLineSink {
public:
    virtual ~LogLineSink() = default;
    // Appends `line` as a line of its own.
    virtual void AddLine(const QString& line) = 0;
};

}  // namespace kelvo
