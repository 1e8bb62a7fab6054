; A complete 64-bit Windows console program: writes a greeting to standard
; output and exits with 0. The Windows examples of tolvane.ini build it:
;   tolvane hello.asm   assembles hello.obj with NASM, links hello.exe
; with the entry point main and kernel32.lib.
        default rel
        global  main
        extern  GetStdHandle, WriteFile, ExitProcess

        section .text
main:
        sub     rsp, 56                 ; shadow space, the fifth argument, alignment
        mov     ecx, -11                ; STD_OUTPUT_HANDLE
        call    GetStdHandle
        mov     rcx, rax                ; WriteFile(handle, greeting, length, &written, 0)
        lea     rdx, [greeting]
        mov     r8d, length
        lea     r9, [written]
        mov     qword [rsp + 32], 0
        call    WriteFile
        xor     ecx, ecx                ; ExitProcess(0)
        call    ExitProcess

        section .data
written:
        dd      0

        section .rdata
greeting:
        db      "Hello from tolvane!", 13, 10
length  equ     $ - greeting
