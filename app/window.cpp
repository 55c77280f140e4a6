// The display window and its rendering context.
