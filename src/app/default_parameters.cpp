#include "app/default_parameters.h"
