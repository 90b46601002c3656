@echo off
rem Removes the registration of Wexlo.exe and both kinds of Velmora.dll in
rem this folder: the current user's always, and the machine-wide one when
rem this prompt may write the machine's classes (an administrator prompt).
rem A class registered to the copy in another folder stays as it is (Wexlo.exe
rem says so), so each step's line tells only that nothing of this folder is
rem left registered.
rem   uninstall.cmd /user     the current user's only
rem   uninstall.cmd /machine  the machine-wide one only
rem One line per step; exit code 0 when every step succeeded.
setlocal
set "HERE=%~dp0"
set "DO_USER=1"
set "DO_MACHINE="
if /i "%~1"=="/user" goto :scoped
if /i "%~1"=="/machine" (
  set "DO_USER="
  set "DO_MACHINE=1"
  goto :scoped
)
if not "%~1"=="" (
  echo uninstall.cmd: unknown argument %1; use /user or /machine.
  exit /b 2
)
reg add "HKLM\Software\Classes\Wexlo.InstallProbe" /f >nul 2>&1
if not errorlevel 1 (
  reg delete "HKLM\Software\Classes\Wexlo.InstallProbe" /f >nul 2>&1
  set "DO_MACHINE=1"
)
:scoped
call :find_regsvr32
set "FAILED="
if defined DO_USER call :remove /UnregServerPerUser "/u /s /n /i:user" "for the current user"
if defined DO_MACHINE call :remove /UnregServer "/u /s" "for all users"
if defined FAILED exit /b 1
echo Uninstalled.
exit /b 0

rem :remove <Wexlo switch> <regsvr32 switches> <where>
:remove
if exist "%HERE%Wexlo.exe" (
  "%HERE%Wexlo.exe" %~1
  if errorlevel 1 (
    echo Wexlo.exe: could not be unregistered %~3.
    set "FAILED=1"
  ) else (
    echo Wexlo.exe: no registration from this folder left %~3.
  )
)
call :remove_library x86 "%REGSVR32_X86%" "%~2" "%~3"
call :remove_library x64 "%REGSVR32_X64%" "%~2" "%~3"
exit /b 0

rem :remove_library <folder> <regsvr32> <switches> <where>
:remove_library
if not exist "%HERE%%~1\Velmora.dll" exit /b 0
if "%~2"=="" exit /b 0
"%~2" %~3 "%HERE%%~1\Velmora.dll"
if errorlevel 1 (
  echo %~1\Velmora.dll: could not be unregistered %~4.
  set "FAILED=1"
) else (
  echo %~1\Velmora.dll: no registration from this folder left %~4.
)
exit /b 0

rem The regsvr32 of each kind: on 64-bit Windows the 32-bit one is in
rem SysWOW64 and the 64-bit one in System32 (Sysnative when this prompt is
rem itself a 32-bit program); on 32-bit Windows there is only the first.
:find_regsvr32
set "REGSVR32_X86=%SystemRoot%\System32\regsvr32.exe"
set "REGSVR32_X64="
set "OS_BITS=32"
if defined PROCESSOR_ARCHITEW6432 set "OS_BITS=64"
if /i not "%PROCESSOR_ARCHITECTURE%"=="x86" set "OS_BITS=64"
if "%OS_BITS%"=="32" exit /b 0
set "REGSVR32_X86=%SystemRoot%\SysWOW64\regsvr32.exe"
set "REGSVR32_X64=%SystemRoot%\System32\regsvr32.exe"
if exist "%SystemRoot%\Sysnative\regsvr32.exe" set "REGSVR32_X64=%SystemRoot%\Sysnative\regsvr32.exe"
exit /b 0
