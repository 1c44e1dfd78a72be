#include "output/page_generation.h"
