// The program's entry: no arguments are read; the loop's result is the exit code.
#include "app/main_loop.h"

int main() {
    return run_main_loop();
}
