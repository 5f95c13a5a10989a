#pragma once

#include <QStringList>

#include <optional>

// The program's command line. Without arguments (or with only Qt's own single-dash options such
// as -session, which a session manager passes back) the monitor starts. Options of our own do
// their job in the terminal and end the program without starting the monitor, so they also work
// while another copy runs and where no display is open.
namespace CommandLine {

// True when `arguments` (program name first) hold an option of our own, so the program runs
// in the terminal instead of starting the monitor (a lone --headless starts the monitor).
bool isTerminalRun(const QStringList &arguments);
// True when --headless is the only option of our own: the monitor runs without a display.
bool isHeadlessRun(const QStringList &arguments);

// Runs the terminal options and returns the exit status: 0 done, 1 the job failed, 2 the command
// line is wrong. Output goes to standard output, messages to standard error.
int run(const QStringList &arguments);

} // namespace CommandLine
