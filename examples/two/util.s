# The second source of the program that main.s begins: greet writes the
# greeting to standard output.
        .text
greet:
        mov     $1, %eax                # write(1, greeting, length)
        mov     $1, %edi
        lea     greeting(%rip), %rsi
        mov     $length, %edx
        syscall
        ret

        .section .rodata
greeting:
        .ascii  "Hello from tolvane!\n"
        length = . - greeting
