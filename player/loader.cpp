#include "player/module.h"
