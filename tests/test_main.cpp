// Test programs take the C library's locale from the environment, as Velmora's programs do, so
// that running the suite under LC_ALL=de_DE.UTF-8 shows whether any number in a file depends
// on the user's decimal separator.
#include <clocale>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
