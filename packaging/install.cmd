@echo off
rem Registers Wexlo.exe and both kinds of Velmora.dll from this folder:
rem for all users when the machine-wide classes can be written (an
rem administrator prompt), otherwise for the current user only.
rem   install.cmd           decide as above
rem   install.cmd /user     for the current user, even from an administrator prompt
rem   install.cmd /machine  for all users; fails without administrator rights
rem One line per step; exit code 0 when every step succeeded. Before the
rem first step it saves every key the steps write, as it finds them (another
rem folder's registration, say); a failed step puts them all back exactly.
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
  set "CLASSES=HKLM\Software\Classes"
) else (
  set "WEXLO_SWITCH=/RegServerPerUser"
  set "REGSVR_SWITCHES=/s /n /i:user"
  set "WHERE=for the current user"
  set "CLASSES=HKCU\Software\Classes"
)
call :find_regsvr32

rem Paths are echoed outside parentheses: a folder such as "Program Files
rem (x86)" would end the block.
if exist "%HERE%Wexlo.exe" goto :found
echo Wexlo.exe: not found in %HERE%
exit /b 1
:found
call :save
if not defined SAVE_FAILED goto :saved
echo install.cmd: could not save what is registered now (%SAVE_FAILED%); nothing was changed.
call :discard
exit /b 1
:saved
rem Wexlo.exe undoes its own failed registration.
"%HERE%Wexlo.exe" %WEXLO_SWITCH%
if errorlevel 1 (
  echo Wexlo.exe: registration failed.
  call :discard
  exit /b 1
)
echo Wexlo.exe: registered %WHERE%.

call :register x86 "%REGSVR32_X86%"
if errorlevel 1 goto :undo
call :register x64 "%REGSVR32_X64%"
if errorlevel 1 goto :undo
call :discard
echo Installed %WHERE%.
exit /b 0

:undo
call :restore
if not defined RESTORE_FAILED goto :restored
echo Could not put back everything registered before install.cmd ran; the saved keys are in %SAVED%.
exit /b 1
:restored
call :discard
if defined FOUND_BEFORE (
  echo Nothing was installed; what was registered before is back as it was.
) else (
  echo Nothing was installed.
)
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

rem Saves, in every registry view, each tree the registrations write (the
rem ProgIDs, classes, type libraries and interfaces of both components) into
rem a folder of its own: a .reg file for a tree that is there, a line in
rem keys.txt for every tree, "-" for one that is not there. SAVE_FAILED names
rem what could not be saved: the folder, or a tree that is there.
:save
set "SAVED=%TEMP%\wexlo-install-%RANDOM%%RANDOM%"
set "SAVE_FAILED="
set "FOUND_BEFORE="
set /a SAVED_COUNT=0
md "%SAVED%" >nul 2>&1
if errorlevel 1 (
  set "SAVE_FAILED=no folder %SAVED%"
  exit /b 0
)
rem On 64-bit Windows both views; "-" is the only view of 32-bit Windows.
set "VIEWS=-"
if "%OS_BITS%"=="64" set "VIEWS=/reg:64 /reg:32"
set "TREES=Wexlo.Downloader Wexlo.Downloader.1 CLSID\{1C4A0703-3322-411B-B0BD-9C243419E8B4}"
set "TREES=%TREES% TypeLib\{93DAEA03-F1E6-4995-A27B-BE7C45BA9B1F}"
set "TREES=%TREES% Interface\{089B92EB-6C25-41FF-B059-1F5E17D8FF02}"
set "TREES=%TREES% Interface\{01B34C61-6D15-4267-B651-E1D95C5DEF57}"
set "TREES=%TREES% Velmora.Browser CLSID\{744A22E9-367A-4D88-88F7-23B0ABC821AA}"
set "TREES=%TREES% TypeLib\{37F198A4-0F47-4532-B860-E5E925A3BE0D}"
set "TREES=%TREES% Interface\{E9D04E82-C40F-4FF2-8B7C-16B0A6486F32}"
for %%V in (%VIEWS%) do for %%K in (%TREES%) do call :save_tree %%V %%K
exit /b 0

rem :save_tree <view switch or -> <tree below the classes key>
:save_tree
set "VIEW_SWITCH=%~1"
if "%VIEW_SWITCH%"=="-" set "VIEW_SWITCH="
set /a SAVED_COUNT+=1
reg export "%CLASSES%\%~2" "%SAVED%\%SAVED_COUNT%.reg" /y %VIEW_SWITCH% >nul 2>&1
if not errorlevel 1 (
  >>"%SAVED%\keys.txt" echo %SAVED_COUNT% %~1 %~2
  set "FOUND_BEFORE=1"
  exit /b 0
)
rem Only a tree that is not there may go unsaved.
reg query "%CLASSES%\%~2" %VIEW_SWITCH% >nul 2>&1
if not errorlevel 1 set "SAVE_FAILED=%CLASSES%\%~2"
>>"%SAVED%\keys.txt" echo - %~1 %~2
exit /b 0

rem Puts every saved tree back as it was: removes what is there now, then
rem imports the saved copy. RESTORE_FAILED when any of it failed.
:restore
set "RESTORE_FAILED="
for /f "usebackq tokens=1-3" %%A in ("%SAVED%\keys.txt") do call :restore_tree %%A %%B %%C
exit /b 0

rem :restore_tree <saved file number or -> <view switch or -> <tree>
:restore_tree
set "VIEW_SWITCH=%~2"
if "%VIEW_SWITCH%"=="-" set "VIEW_SWITCH="
reg delete "%CLASSES%\%~3" /f %VIEW_SWITCH% >nul 2>&1
if errorlevel 1 (
  reg query "%CLASSES%\%~3" %VIEW_SWITCH% >nul 2>&1
  if not errorlevel 1 set "RESTORE_FAILED=1"
)
if "%~1"=="-" exit /b 0
reg import "%SAVED%\%~1.reg" %VIEW_SWITCH% >nul 2>&1
if errorlevel 1 set "RESTORE_FAILED=1"
exit /b 0

:discard
if defined SAVED rd /s /q "%SAVED%" >nul 2>&1
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
