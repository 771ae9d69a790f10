#include "hyp_data.h"
