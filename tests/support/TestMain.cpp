#include <gtest/gtest.h>

#include "app/Application.h"

int main(int argc, char** argv) {
    // Tests never need a display; listing them must not either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
