#include <QApplication>

#include <gtest/gtest.h>

// Widget tests need a QApplication; they run offscreen unless told otherwise.
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("CORVANE_BUILD_DIR"))
        qputenv("CORVANE_BUILD_DIR", CORVANE_TEST_BUILD_DIR);
    if (!qEnvironmentVariableIsSet("CORVANE_SOURCE_DIR"))
        qputenv("CORVANE_SOURCE_DIR", CORVANE_TEST_SOURCE_DIR);
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
