#include "text/layout.h"
