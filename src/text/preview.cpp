#include "text/preview.h"
