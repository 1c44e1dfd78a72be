#include "runtime/record_table.h"
