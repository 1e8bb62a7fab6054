@echo off
rem Assembles and links the source file that tolvane hands over as %1, with
rem NASM and the Microsoft linker found along PATH (as a Developer Command
rem Prompt sets it up). %~dpn1 is the source's path without its extension.
nasm -f win64 -o "%~dpn1.obj" %1
if %errorlevel% neq 0 exit /b %errorlevel%
link /nologo /subsystem:console /entry:main /out:"%~dpn1.exe" "%~dpn1.obj" kernel32.lib
