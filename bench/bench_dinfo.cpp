// The reverse look-up: DInfoClient against the built stand-in rufwart-dinfo answering from a
// vCard file of 10,000 contacts, as the automatic look-up of a ring uses it.
//
// dinfo_start_ms: starting the stand-in until its conversation accepts (it reads the address
// book first).
// dinfo_lookup_p50_ms / _p99_ms: 2,000 searches one after the other, half of numbers in the
// address book, half of numbers nobody has, from sending the request to the parsed answer.
// dinfo_lookup_p99_of_limit: the p99 as a share of the 100 ms a look-up may take.
#include "BenchContacts.h"
#include "BenchSupport.h"
#include "common/Paths.h"
#include "common/Utils.h"
#include "dinfo/DInfoClient.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    UseFoldersIn(root);
    QDir().mkpath(Paths::runtimeDir());

    constexpr int kContacts = 10000;
    // The stand-in's default address book folder.
    QDir().mkpath(Paths::dataDir() + "adressbuch");
    WriteFileAtomic(Paths::dataDir() + "adressbuch/kontakte.vcf", BenchContactsVCard(kContacts));
    const QString folder = root.path() + "/dinfo/";
    QDir().mkpath(folder);
    if (!QFile::link(QStringLiteral(DINFO_STANDIN_EXE), folder + "dinfowin.exe"))
        fail("cannot link the stand-in");

    DInfoClient client(folder, 0);
    QElapsedTimer clock;
    clock.start();
    if (!client.Start())
        fail("the stand-in did not start");
    const double startMs = double(clock.nsecsElapsed()) / 1e6;

    constexpr int kSearches = 2000;
    std::vector<double> ms;
    ms.reserve(kSearches);
    QRandomGenerator random(4711);
    for (int n = 0; n < kSearches; ++n) {
        const int i = int(random.bounded(2 * kContacts));
        const bool known = i < kContacts;
        const QString number = known ? BenchContactLineNumber(i) : QStringLiteral("888%1").arg(1000000 + i);
        clock.restart();
        const DInfoSearch search = client.Search(number);
        ms.push_back(double(clock.nsecsElapsed()) / 1e6);
        const QString expected =
            known ? QStringLiteral("Kontakt %1, Jürgen").arg(i) +
                        (i % 3 == 0 ? QStringLiteral(" Elbwerk %1 GmbH").arg(i) : QString())
                  : QString();
        if (search.Name != expected || (known != search.found()))
            fail(qPrintable(QStringLiteral("wrong answer for %1: \"%2\"").arg(number, search.Name)));
    }
    client.Stop();

    const double p99 = percentile(ms, 0.99);
    std::printf("dinfo_start_ms: %.3f\n", startMs);
    std::printf("dinfo_lookup_p50_ms: %.3f\n", percentile(ms, 0.50));
    std::printf("dinfo_lookup_p99_ms: %.3f\n", p99);
    std::printf("dinfo_lookup_p99_of_limit: %.3f\n", p99 / 100.0);
    return 0;
}
