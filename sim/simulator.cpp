// The instrument simulator.
#include "simulator.h"
