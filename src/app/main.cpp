// app/: the process entry. It hands the argument vector to the build
// sequence and returns its result as the exit status.
#include "driver/driver.h"
#include "platform/os.h"

int main(int argc, char** argv) {
    os_init();
    os_take_arguments(argc, argv);
    return run_build(argc, argv);
}
