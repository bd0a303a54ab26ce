# Packs a small project into a probe program and runs the result under
# Wine: the probe finds its payload through FindResourceW and checks the
# archive checksum. Arguments: PACKER, STUB, WORK.
file(REMOVE_RECURSE ${WORK})
file(WRITE ${WORK}/project/setup.dat "[CopyFile]\r\napp.exe\r\n<Destination>app.exe\r\n")
string(REPEAT "application bytes " 20000 content)
file(WRITE ${WORK}/project/app.exe "${content}")

execute_process(COMMAND ${PACKER} -q --stub ${STUB} -o ${WORK}/setup.exe ${WORK}/project
    RESULT_VARIABLE result ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "packing failed: ${errors}")
endif()
execute_process(COMMAND wrestool -x --raw --type=10 --name=24356 ${WORK}/setup.exe
    OUTPUT_FILE ${WORK}/payload.bin RESULT_VARIABLE result)
file(SIZE ${WORK}/payload.bin size)

execute_process(COMMAND wine ${WORK}/setup.exe OUTPUT_VARIABLE output RESULT_VARIABLE result)
string(STRIP "${output}" output)
if(NOT result EQUAL 0 OR NOT output STREQUAL "payload ${size} bytes, checksum ok")
    message(FATAL_ERROR "the packed probe said '${output}' (exit ${result}); expected a payload of ${size} bytes")
endif()
file(REMOVE_RECURSE ${WORK})
