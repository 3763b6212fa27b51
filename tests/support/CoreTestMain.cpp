#include <QCoreApplication>
#include <gtest/gtest.h>

// Tests of the widget-free core run without Qt Gui: linking fails if the core
// ever starts to need it.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
