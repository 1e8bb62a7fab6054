# A complete x86-64 Linux program: writes a greeting and exits with 0.
        .globl  _start
        .text
_start:
        mov     $1, %eax                # write(1, greeting, length)
        mov     $1, %edi
        lea     greeting(%rip), %rsi
        mov     $length, %edx
        syscall
        mov     $60, %eax               # exit(0)
        xor     %edi, %edi
        syscall

        .section .rodata
greeting:
        .ascii  "Hello from tolvane!\n"
        length = . - greeting
