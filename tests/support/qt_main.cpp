#include <QCoreApplication>

#include <gtest/gtest.h>

// Qt-based tests need an application object for event loops, timers and
// child processes.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
