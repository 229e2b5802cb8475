#include "Print.h"
