# Where the program expects dfu-util, relative to its own directory. This is
# the single source of that rule: the C++ side gets it through the generated
# configuration header, the build uses it to place the tool beside the program.
if(WIN32)
    set(RAVLO_DFU_UTIL_RELATIVE_PATH "dfu-util-0.11-binaries/win64/dfu-util.exe")
else()
    set(RAVLO_DFU_UTIL_RELATIVE_PATH "dfu-util-0.11-binaries/linux64/dfu-util")
endif()

find_program(DFU_UTIL_EXECUTABLE NAMES dfu-util
    DOC "dfu-util 0.11, copied beside the program")
if(NOT DFU_UTIL_EXECUTABLE)
    message(FATAL_ERROR
        "dfu-util was not found. Install version 0.11 (Debian: apt-get install dfu-util) "
        "or set DFU_UTIL_EXECUTABLE to its path.")
endif()
execute_process(COMMAND ${DFU_UTIL_EXECUTABLE} --version
    OUTPUT_VARIABLE _dfu_util_version_output
    ERROR_QUIET
    RESULT_VARIABLE _dfu_util_version_result)
string(REGEX MATCH "^dfu-util ([0-9.]+)" _dfu_util_version_line "${_dfu_util_version_output}")
if(NOT _dfu_util_version_result EQUAL 0 OR NOT CMAKE_MATCH_1 STREQUAL "0.11")
    message(FATAL_ERROR
        "${DFU_UTIL_EXECUTABLE} is not dfu-util 0.11 (it reports "
        "\"${_dfu_util_version_line}\"). The program is built and tested against 0.11.")
endif()
message(STATUS "dfu-util 0.11: ${DFU_UTIL_EXECUTABLE}")

# Copies the tool to where a program built into <dir> looks for it.
function(ravlo_install_dfu_util dir)
    set(destination "${dir}/${RAVLO_DFU_UTIL_RELATIVE_PATH}")
    # configure_file keeps the executable bit and re-copies when the tool changes.
    configure_file("${DFU_UTIL_EXECUTABLE}" "${destination}" COPYONLY)
endfunction()
