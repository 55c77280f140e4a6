#pragma once
#include "scenes/tube_math.h"

// Draws the tube of the ring tables at the current model-view transform: the face pass, one
// flat quad per band and segment coloured by the rule, then the seam pass, black lines of
// width 4 along the tube's length. Leaves the colour black and the line width 4.
void draw_tube(QuadColourRule colour_rule, float b);
