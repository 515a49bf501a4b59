#include "engine/connection.h"  // implemented in the next change
