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

get_filename_component(_dfu_util_subdir "${RAVLO_DFU_UTIL_RELATIVE_PATH}" DIRECTORY)
if(WIN32)
    # The Windows build of the tool loads libusb from its own folder.
    get_filename_component(_dfu_util_dir "${DFU_UTIL_EXECUTABLE}" DIRECTORY)
    find_file(DFU_UTIL_LIBUSB_DLL libusb-1.0.dll HINTS "${_dfu_util_dir}" NO_DEFAULT_PATH
        DOC "libusb-1.0.dll of the Windows dfu-util 0.11")
    if(NOT DFU_UTIL_LIBUSB_DLL)
        message(FATAL_ERROR "libusb-1.0.dll was not found beside ${DFU_UTIL_EXECUTABLE}.")
    endif()
    set(_dfu_util_files "${DFU_UTIL_EXECUTABLE}" "${DFU_UTIL_LIBUSB_DLL}")
else()
    set(RAVLO_SYSTEM_DFU_UTIL "/usr/bin/dfu-util" CACHE FILEPATH
        "The system's dfu-util that an installed program reaches through a link beside it")
    set(_dfu_util_files "${DFU_UTIL_EXECUTABLE}")
endif()

# Copies the tool to where a program built into <dir> looks for it; a demo
# build puts the demo's wrapper of the tool there instead.
function(ravlo_install_dfu_util dir)
    if(RAVLO_DEMO)
        ravlo_write_demo_dfu_util("${dir}/${RAVLO_DFU_UTIL_RELATIVE_PATH}")
        return()
    endif()
    foreach(file IN LISTS _dfu_util_files)
        get_filename_component(name "${file}" NAME)
        # configure_file keeps the executable bit and re-copies when the tool changes.
        configure_file("${file}" "${dir}/${_dfu_util_subdir}/${name}" COPYONLY)
    endforeach()
endfunction()

# Writes <file>, a script that runs the real tool with the simulated Ravlo bus
# (sim/dfusim) in place of libusb: the tool sees the devices of the scenario
# in its environment (RAVLO_DFUSIM_*) and never a real one, and nothing else
# loads the simulator.
set(_ravlo_demo_dfu_util_template "${PROJECT_SOURCE_DIR}/sim/demo/dfu-util.sh.in")
function(ravlo_write_demo_dfu_util file)
    # The template is executable, and configure_file keeps that.
    configure_file("${_ravlo_demo_dfu_util_template}" "${file}" @ONLY)
endfunction()

# Install rule: the tool where programs installed into <dir> (relative to the
# prefix) look for it. On Linux a link to the system's dfu-util, which the
# distribution keeps up to date; on Windows a copy with its libusb.
function(ravlo_install_dfu_util_beside dir)
    if(WIN32)
        install(PROGRAMS ${_dfu_util_files} DESTINATION "${dir}/${_dfu_util_subdir}")
    else()
        get_filename_component(name "${RAVLO_DFU_UTIL_RELATIVE_PATH}" NAME)
        set(link "${CMAKE_BINARY_DIR}/install-links/${name}")
        file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/install-links")
        file(CREATE_LINK "${RAVLO_SYSTEM_DFU_UTIL}" "${link}" SYMBOLIC)
        # install(FILES) installs a link as a link.
        install(FILES "${link}" DESTINATION "${dir}/${_dfu_util_subdir}")
    endif()
endfunction()
