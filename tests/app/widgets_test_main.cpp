// Test entry for widget tests: headless (offscreen) and in an isolated home folder.
#include <gtest/gtest.h>

#include <QApplication>

#include "isolated_home.h"

int main(int argc, char** argv) {
    QTemporaryDir home(QDir::tempPath() + "/corvane-test-home-XXXXXX");
    IsolateHome(home);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
