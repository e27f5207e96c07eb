@echo off
rem Installs the price-check server as a Windows service that starts with the PC.
rem Run from an administrator command prompt in the folder that holds kt-vistrand-server.exe,
rem with the data folder and port the shop uses. The service logs to this folder.
rem Remove it again with: kt-vistrand-server.exe --service uninstall
cd /d "%~dp0"
kt-vistrand-server.exe --service install --data "C:\Accounting\Data" --port 5000
