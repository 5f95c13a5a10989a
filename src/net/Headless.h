#pragma once

// The program without a display (rufwart --headless).
namespace Headless {
// Runs the headless monitor until a termination signal: the single-copy lock, the monitor, its
// place on the network, and messages on standard error. Needs a QCoreApplication, and no
// display. Returns the exit status.
int Run();
} // namespace Headless
