#include "output/output_run.h"
