#include <QCoreApplication>

#include <gtest/gtest.h>

// Qt-based tests need an application object for event loops, timers and
// child processes.
int main(int argc, char** argv)
{
    // Where the built programs and the sources are, for tests that run them;
    // an explicit setting wins.
    if (!qEnvironmentVariableIsSet("CORVANE_BUILD_DIR"))
        qputenv("CORVANE_BUILD_DIR", CORVANE_TEST_BUILD_DIR);
    if (!qEnvironmentVariableIsSet("CORVANE_SOURCE_DIR"))
        qputenv("CORVANE_SOURCE_DIR", CORVANE_TEST_SOURCE_DIR);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
