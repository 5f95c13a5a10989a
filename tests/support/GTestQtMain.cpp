// Entry point of the core test executables: a QCoreApplication (for event processing and
// file helpers) and temporary HOME/XDG folders for the whole run; tests that need a clean
// folder of their own make another TestEnv.
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    TestEnv env;
    return RUN_ALL_TESTS();
}
