#include "tools/xm_image.h"
