#pragma once

#include <QDateTime>
#include <functional>

// The one clock of the program: wall-clock time for journal stamps, and a monotonic millisecond
// count for time limits and rates. Tests install sources of their own.
namespace Clock {
QDateTime now();
// Tests install a source of time; an empty function restores the system clock.
void setSource(std::function<QDateTime()> source);

// Milliseconds of a monotonic clock (never goes back, unaffected by changes of the wall clock).
qint64 ticks();
// Tests install a source of ticks; an empty function restores the monotonic clock.
void setTickSource(std::function<qint64()> source);
} // namespace Clock
