@echo off
rem Registers Wexlo.exe and both kinds of Velmora.dll from this folder:
rem for all users when the machine-wide classes can be written (an
rem administrator prompt), otherwise for the current user only.
rem   install.cmd           decide as above
rem   install.cmd /user     for the current user, even from an administrator prompt
rem   install.cmd /machine  for all users; fails without administrator rights
rem One line per step; exit code 0 when every step succeeded. A failed step
rem undoes the steps before it.
setlocal
set "HERE=%~dp0"
set "SCOPE="
if /i "%~1"=="/user" set "SCOPE=user"
if /i "%~1"=="/machine" set "SCOPE=machine"
if not "%~1"=="" if not defined SCOPE (
  echo install.cmd: unknown argument %1; use /user or /machine.
  exit /b 2
)
if not defined SCOPE call :probe_machine
if "%SCOPE%"=="machine" (
  set "WEXLO_SWITCH=/RegServer"
  set "REGSVR_SWITCHES=/s"
  set "WHERE=for all users"
) else (
  set "WEXLO_SWITCH=/RegServerPerUser"
  set "REGSVR_SWITCHES=/s /n /i:user"
  set "WHERE=for the current user"
)
call :find_regsvr32

if not exist "%HERE%Wexlo.exe" (
  echo Wexlo.exe: not found in %HERE%
  exit /b 1
)
"%HERE%Wexlo.exe" %WEXLO_SWITCH%
if errorlevel 1 (
  echo Wexlo.exe: registration failed.
  exit /b 1
)
echo Wexlo.exe: registered %WHERE%.

call :register x86 "%REGSVR32_X86%"
if errorlevel 1 goto :undo
call :register x64 "%REGSVR32_X64%"
if errorlevel 1 goto :undo
echo Installed %WHERE%.
exit /b 0

:undo
call "%HERE%uninstall.cmd" /%SCOPE% >nul 2>&1
echo Nothing was installed.
exit /b 1

rem :register <folder> <regsvr32>: one architecture of Velmora.dll.
:register
if not exist "%HERE%%~1\Velmora.dll" (
  echo %~1\Velmora.dll: not in this folder, skipped.
  exit /b 0
)
if "%~2"=="" (
  echo %~1\Velmora.dll: skipped, this Windows cannot load it.
  exit /b 0
)
"%~2" %REGSVR_SWITCHES% "%HERE%%~1\Velmora.dll"
if errorlevel 1 (
  echo %~1\Velmora.dll: registration failed.
  exit /b 1
)
echo %~1\Velmora.dll: registered %WHERE%.
exit /b 0

rem Machine-wide when this prompt may write the machine's classes.
:probe_machine
set "SCOPE=user"
reg add "HKLM\Software\Classes\Wexlo.InstallProbe" /f >nul 2>&1
if errorlevel 1 exit /b 0
reg delete "HKLM\Software\Classes\Wexlo.InstallProbe" /f >nul 2>&1
set "SCOPE=machine"
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
