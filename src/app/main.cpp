#include "driver/driver.h"
#include "platform/os.h"

int main(int argc, char** argv) {
    os_init();
    return run_build(argc, argv);
}
