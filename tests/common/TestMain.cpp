#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>

// One QApplication per test process. Widgets render offscreen unless the
// caller asked for a real platform (the window tests run under Xvfb).
int main(int argc, char **argv) {
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
