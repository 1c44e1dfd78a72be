#include "runtime/shell.h"
