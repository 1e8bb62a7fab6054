@echo off
rem Assembles and links the source that tolvane hands over as %1 (%~dpn1 is
rem its path without the extension). The script example of tolvane.ini runs
rem this file as <CONFIG_DIR>\build.bat: keep it beside that tolvane.ini.
rem A dropped file has no Developer Command Prompt, so when the Microsoft
rem tools are not set up, the script sets them up itself: vswhere finds the
rem newest Visual Studio, whose vcvars64.bat puts link.exe on PATH and the
rem folder of kernel32.lib on LIB. NASM is taken where its installer puts
rem it, else along PATH. Without a Visual Studio it says so and ends with 1.
setlocal
set "installer=%ProgramFiles(x86)%\Microsoft Visual Studio\Installer"
if not defined VCToolsInstallDir if exist "%installer%\vswhere.exe" (
    pushd "%installer%"
    for /f "delims=" %%d in ('vswhere.exe -latest -products * -property installationPath') do set "vs=%%d"
    popd
)
if defined vs call "%vs%\VC\Auxiliary\Build\vcvars64.bat" >nul
if not defined VCToolsInstallDir (
    1>&2 echo build.bat: no Visual Studio was found: install Visual Studio or its Build Tools with the workload Desktop development with C++
    exit /b 1
)
set "nasm=%ProgramFiles%\NASM\nasm.exe"
if not exist "%nasm%" set "nasm=nasm"
"%nasm%" -f win64 -o "%~dpn1.obj" %1
if %errorlevel% neq 0 exit /b %errorlevel%
link /nologo /subsystem:console /entry:main /out:"%~dpn1.exe" "%~dpn1.obj" kernel32.lib
