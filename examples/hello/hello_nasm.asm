; A complete x86-64 Linux program: writes a greeting and exits with 0.
        global  _start

        section .text
_start:
        mov     eax, 1                  ; write(1, greeting, length)
        mov     edi, 1
        lea     rsi, [rel greeting]
        mov     edx, length
        syscall
        mov     eax, 60                 ; exit(0)
        xor     edi, edi
        syscall

        section .rodata
greeting:
        db      "Hello from tolvane!", 10
length  equ     $ - greeting
