#pragma once

// The desktop program: the shell on SDL, stepped until it has ended. Returns the exit code.
int run_main_loop();
