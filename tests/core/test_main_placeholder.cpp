#include <gtest/gtest.h>

#include "hyp_data.h"

TEST(DataSet, NewDataSetHasDefaults) {
    HYP_Data d;
    EXPECT_EQ(d.water_cal_temp, -1.0);
    EXPECT_EQ(d.temp_source, 1);
    EXPECT_TRUE(d.records.empty());
}
