// main() of every GUI test: one QApplication for the whole run (widgets need one), on the offscreen
// platform unless the caller chose another (a developer may run a test on a real display).
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
