@echo off
rem Registers the management-instrumentation service programs again, then recompiles the
rem class definitions shipped beside them.
pushd "%windir%\system32\wbem"
for %%e in (scrcons.exe unsecapp.exe wmiadap.exe wmiapsrv.exe wmiprvse.exe) do (
    if exist "%%e" "%%e" /regserver
)
if exist winmgmt.exe winmgmt.exe /regserver
for %%m in (*.mof *.mfl) do mofcomp "%%m"
popd
