#include <stdio.h>

int main(void) {
    puts("Hello from tolvane!");
    return 0;
}
