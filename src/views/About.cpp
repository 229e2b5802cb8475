#include "About.h"
