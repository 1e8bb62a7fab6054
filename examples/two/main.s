# The first of two sources of one x86-64 Linux program: calls greet, which
# util.s defines, and exits with 0. as reads both into one object:
#   tolvane main.s util.s   builds main.o and main.out
        .globl  _start
        .text
_start:
        call    greet
        mov     $60, %eax               # exit(0)
        xor     %edi, %edi
        syscall
