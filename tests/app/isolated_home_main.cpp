// Test entry for the program's non-graphical tests, run in an isolated home folder.
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "isolated_home.h"

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + "/corvane-test-home-XXXXXX");
    IsolateHome(home);
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
