@echo off
rem Installs the WinUSB driver for Ravlo devices in DFU mode (0483:df11) and
rem binds it to a device that is connected now. Run it as administrator; the
rem catalog ravlo-dfu.cat beside it must be signed (docs\windows.md).
pnputil /add-driver "%~dp0ravlo-dfu.inf" /install
set result=%errorlevel%
pause
exit /b %result%
