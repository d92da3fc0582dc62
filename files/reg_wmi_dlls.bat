@echo off
rem Registers every management-instrumentation library again, 32- and 64-bit folders.
if exist "%windir%\system32\wbem" (
    pushd "%windir%\system32\wbem"
    for %%s in (*.dll) do regsvr32 /s "%%s"
    popd
)
if exist "%windir%\sysWOW64\wbem" (
    pushd "%windir%\sysWOW64\wbem"
    for %%s in (*.dll) do regsvr32 /s "%%s"
    popd
)
