// Record selections "3,7-9" of the command line.
#include <gtest/gtest.h>

#include "record_selection.h"

namespace {

TEST(RecordSelection, IndicesAndRangesInOrder) {
    struct Case {
        const char* selection;
        std::vector<std::size_t> indices;
    };
    const Case cases[] = {
        {"3,7-9", {3, 7, 8, 9}},  {"0", {0}},
        {"5,2", {5, 2}},          {"4-4", {4}},
        {" 1 , 2-3 ", {1, 2, 3}}, {"9,0-1,9", {9, 0, 1, 9}},
    };
    for (const Case& c : cases) {
        std::vector<record_selection::Range> ranges;
        std::string error;
        ASSERT_TRUE(record_selection::parse(c.selection, ranges, error))
            << c.selection << ": " << error;
        std::vector<std::size_t> indices;
        std::size_t bad = 0;
        ASSERT_TRUE(record_selection::expand(ranges, 10, indices, bad)) << c.selection;
        EXPECT_EQ(indices, c.indices) << c.selection;
    }
}

TEST(RecordSelection, MalformedSelections) {
    for (const char* selection : {"", " ", "3,", ",3", "a", "-1", "3-", "-", "1-2-3", "9-7", "1.5",
                                  "+2", "3;4", "99999999999999999999999"}) {
        std::vector<record_selection::Range> ranges;
        std::string error;
        EXPECT_FALSE(record_selection::parse(selection, ranges, error)) << '"' << selection << '"';
        EXPECT_FALSE(error.empty()) << '"' << selection << '"';
    }
}

TEST(RecordSelection, RangesPastTheRecordsAreRefusedBeforeExpanding) {
    std::vector<record_selection::Range> ranges;
    std::string error;
    ASSERT_TRUE(record_selection::parse("2,8-4000000000000", ranges, error));
    std::vector<std::size_t> indices;
    std::size_t bad = 0;
    EXPECT_FALSE(record_selection::expand(ranges, 10, indices, bad));
    EXPECT_EQ(bad, 10u);
    EXPECT_TRUE(indices.empty());
    ASSERT_TRUE(record_selection::parse("12", ranges, error));
    EXPECT_FALSE(record_selection::expand(ranges, 10, indices, bad));
    EXPECT_EQ(bad, 12u);
}

} // namespace
