# The Windows build of the packer, run under Wine, writes byte for byte the
# setup the Linux build writes for the same folder: subfolders, setup.lic,
# an empty file, text, and a random file large enough to be sampled.
# Arguments: HOST_PACKER, WINDOWS_PACKER, STUB, WORK.
file(REMOVE_RECURSE ${WORK})
set(project ${WORK}/project)
file(WRITE ${project}/setup.dat
    "[Project Name]\r\nBoth Packers\r\n"
    "[CopyFile]\r\napp.exe\r\n<Destination>app.exe\r\n"
    "[CopyFile]\r\nempty.txt\r\n<Destination>empty.txt\r\n"
    "[CopyFile]\r\ndata\\noise.bin\r\n<Destination>noise.bin\r\n"
    "[CopyFile]\r\ndata\\deeper\\notes.txt\r\n<Destination>notes.txt\r\n")
file(WRITE ${project}/setup.lic "Terms of use\r\n")
string(REPEAT "application bytes " 20000 content)
file(WRITE ${project}/app.exe "${content}")
file(WRITE ${project}/empty.txt "")
file(WRITE ${project}/data/deeper/notes.txt "Notes\r\n")
execute_process(COMMAND head -c 1500000 /dev/urandom OUTPUT_FILE ${project}/data/noise.bin RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "cannot make the random file")
endif()

execute_process(COMMAND ${HOST_PACKER} -q --stub ${STUB} -o ${WORK}/linux.exe ${project}
    RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the Linux packer failed: ${errors}")
endif()

# Wine reaches the host's files through drive Z:.
function(windows_path path out)
    string(REPLACE "/" "\\" converted "Z:${path}")
    set(${out} "${converted}" PARENT_SCOPE)
endfunction()
windows_path(${STUB} stub)
windows_path(${WORK}/windows.exe output)
windows_path(${project} folder)
execute_process(COMMAND wine ${WINDOWS_PACKER} -q --stub ${stub} -o ${output} ${folder}
    RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "the Windows packer failed (${result}): ${errors}")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${WORK}/linux.exe ${WORK}/windows.exe RESULT_VARIABLE differ)
if(differ)
    file(SIZE ${WORK}/linux.exe linuxSize)
    file(SIZE ${WORK}/windows.exe windowsSize)
    message(FATAL_ERROR "the two packers wrote different setups (${linuxSize} and ${windowsSize} bytes); both are in ${WORK}")
endif()
message(STATUS "both packers wrote the same setup")
file(REMOVE_RECURSE ${WORK})
