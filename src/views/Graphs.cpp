#include "Graphs.h"
