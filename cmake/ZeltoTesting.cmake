# Test programs run under Wine in the private prefixes that scripts/test
# creates. A test whose behaviour depends on 32- or 64-bit Windows runs in
# both prefixes; its name says which.
set(ZELTO_WINE_PREFIX_64 "${CMAKE_BINARY_DIR}/wine64" CACHE PATH "64-bit Wine prefix for tests")
set(ZELTO_WINE_PREFIX_32 "${CMAKE_BINARY_DIR}/wine32" CACHE PATH "32-bit Wine prefix for tests")

# Quiet Wine, without the .NET and HTML engines' install prompts, the menu
# builder, or a debugger that would keep a crashed program waiting.
set(ZELTO_WINE_ENV
    WINEDEBUG=-all
    "WINEDLLOVERRIDES=mscoree=;mshtml=;winemenubuilder.exe=;winedbg.exe=")

# zelto_add_wine_test(NAME <name> COMMAND <target> [args...] PREFIXES 64 [32] [TIMEOUT s] [SERIAL])
# SERIAL keeps a test from running beside others.
function(zelto_add_wine_test)
    cmake_parse_arguments(T "SERIAL" "NAME;TIMEOUT" "COMMAND;PREFIXES" ${ARGN})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 300)
    endif()
    if(NOT T_PREFIXES)
        set(T_PREFIXES 64)
    endif()
    foreach(bits IN LISTS T_PREFIXES)
        set(test_name "${T_NAME}.win${bits}")
        add_test(NAME ${test_name} COMMAND ${T_COMMAND})
        set_tests_properties(${test_name} PROPERTIES
            TIMEOUT ${T_TIMEOUT}
            ENVIRONMENT "WINEPREFIX=${ZELTO_WINE_PREFIX_${bits}};${ZELTO_WINE_ENV}"
            FIXTURES_REQUIRED zelto_platform_win${bits}
            RUN_SERIAL ${T_SERIAL})
    endforeach()
endfunction()
