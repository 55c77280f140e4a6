#pragma once

// The GL state every scene starts from in a new rendering context, and the fog parameters of
// the tunnel: smooth shading, a white clear colour, the depth test at less-or-equal, colour
// material, line smoothing; linear black fog from the eye to 30 units, switched off.
void set_scene_start_state();
// The fog parameters alone; fog itself stays off.
void set_fog_parameters();
