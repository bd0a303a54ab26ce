# The installer's import table names only DLLs that Windows always loads
# from the system folder (the KnownDLLs) and comctl32, which the manifest
# binds; anything else could be planted beside setup.exe in a downloads
# folder. Arguments: OBJDUMP, EXE.
set(allowed
    advapi32.dll comctl32.dll comdlg32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll
    shell32.dll shlwapi.dll user32.dll)
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} could not read ${EXE}")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${dump}")
if(NOT lines)
    message(FATAL_ERROR "no import table found in ${EXE}")
endif()
set(unexpected "")
foreach(line IN LISTS lines)
    string(REPLACE "DLL Name: " "" dll "${line}")
    string(STRIP "${dll}" dll)
    string(TOLOWER "${dll}" dll)
    list(FIND allowed "${dll}" known)
    if(known EQUAL -1)
        list(APPEND unexpected "${dll}")
    endif()
    message(STATUS "imports ${dll}")
endforeach()
if(unexpected)
    message(FATAL_ERROR "${EXE} imports DLLs that are not loaded from the system folder: ${unexpected}")
endif()
