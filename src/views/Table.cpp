#include "Table.h"
