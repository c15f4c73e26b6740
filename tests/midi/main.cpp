#include <QCoreApplication>

#include <gtest/gtest.h>

// The components deliver the library's notifications through the event
// loop, so the tests run inside an application object.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
