#include "hyp_data.h"

HYP_Data::HYP_Data() {}

HYP_Data::~HYP_Data() {}
