#pragma once

#include <QDateTime>
#include <functional>

// The one clock for journal stamps and anything tests need to control.
namespace Clock {
QDateTime now();
// Tests install a source of time; an empty function restores the system clock.
void setSource(std::function<QDateTime()> source);
} // namespace Clock
