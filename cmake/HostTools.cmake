# The Linux packer and its tests, built with the host compiler in a tree of
# their own (build/host) as part of the cross build, so that one build
# command makes both packers. The Linux packer lands beside the Windows one
# in bin/.
include(ExternalProject)

set(ZELTO_HOST_DIR ${CMAKE_BINARY_DIR}/host)
set(ZELTO_HOST_PACK ${CMAKE_BINARY_DIR}/bin/zelto-pack)
set(ZELTO_HOST_TEST_PACK ${ZELTO_HOST_DIR}/bin/test_pack)
set(ZELTO_HOST_MAKE_LARGE_SETUP ${ZELTO_HOST_DIR}/bin/make_large_setup)

ExternalProject_Add(host_tools
    SOURCE_DIR ${CMAKE_SOURCE_DIR}
    BINARY_DIR ${ZELTO_HOST_DIR}
    PREFIX ${CMAKE_BINARY_DIR}/host-stamps
    CMAKE_ARGS
        -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
        -DZELTO_PACK_OUTPUT_DIR=${CMAKE_BINARY_DIR}/bin
    INSTALL_COMMAND ""
    # The inner build decides itself what is out of date.
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${ZELTO_HOST_PACK} ${ZELTO_HOST_TEST_PACK} ${ZELTO_HOST_MAKE_LARGE_SETUP})
