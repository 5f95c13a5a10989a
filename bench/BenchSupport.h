#pragma once

#include <QString>
#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

// What the benchmark programs share.

// Ends the benchmark with a message naming it.
[[noreturn]] inline void fail(const char *what)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what);
    std::exit(1);
}

// The value below which the share p (0 to 1) of the samples lies.
inline double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5))];
}

// Points HOME and the XDG folders into `root`, a fresh temporary folder, so the benchmark
// touches none of the user's files.
inline void UseFoldersIn(const QTemporaryDir &root)
{
    if (!root.isValid())
        fail("no temporary folder");
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "HOME"})
        qputenv(name, (root.path() + "/" + QString::fromLatin1(name).toLower()).toLocal8Bit());
}
