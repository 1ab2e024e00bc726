# Installation and packages.
#
# Linux: a native layout under the prefix (programs in a private folder beside
# the link to the system's dfu-util, links to them in bin/, desktop entry,
# icons, AppStream metainfo, udev rule) and a Debian package: cpack -G DEB.
# Windows: one folder with the programs, the Qt libraries and plug-ins, OpenSSL,
# dfu-util and the WinUSB driver files: cpack -G ZIP (docs/windows.md).
#
# Every program of the project is installed with ravlo_install_program().

set(RAVLO_PACKAGE_NAME ravlo-firmware-downloader)
# Names the desktop entry, the icon and the AppStream component.
set(RAVLO_APP_ID com.example.RavloFirmwareDownloader)
set(RAVLO_PACKAGING_DIR "${PROJECT_SOURCE_DIR}/packaging")

if(WIN32)
    set(RAVLO_INSTALL_PROGRAM_DIR .)
else()
    set(RAVLO_INSTALL_PROGRAM_DIR lib/${RAVLO_PACKAGE_NAME})
endif()
ravlo_install_dfu_util_beside(${RAVLO_INSTALL_PROGRAM_DIR})

# Installs a program of the project where it finds dfu-util beside itself: on
# Linux in the private folder with a link in bin/, on Windows in the folder's
# root together with the Qt libraries it needs.
function(ravlo_install_program target)
    install(TARGETS ${target} RUNTIME DESTINATION ${RAVLO_INSTALL_PROGRAM_DIR})
    if(WIN32)
        if(MSVC)
            set(runtime --no-compiler-runtime) # InstallRequiredSystemLibraries brings it
        else()
            set(runtime --compiler-runtime)
        endif()
        # --svg: the SVG image plug-in draws the help button; windeployqt
        # only deploys modules the program links. --translations: Qt's own
        # Chinese texts (translations\qt_zh_CN.qm), for a Chinese locale.
        install(CODE "
            execute_process(COMMAND \"${WINDEPLOYQT_EXECUTABLE}\" --qmake \"${RAVLO_QMAKE}\"
                    --translations zh_CN --no-system-d3d-compiler --no-opengl-sw --svg ${runtime}
                    \"\${CMAKE_INSTALL_PREFIX}/$<TARGET_FILE_NAME:${target}>\"
                RESULT_VARIABLE result)
            if(NOT result EQUAL 0)
                message(FATAL_ERROR \"windeployqt failed for $<TARGET_FILE_NAME:${target}>\")
            endif()")
    else()
        set(link "${CMAKE_BINARY_DIR}/install-links/bin/${target}")
        file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/install-links/bin")
        file(CREATE_LINK "../${RAVLO_INSTALL_PROGRAM_DIR}/${target}" "${link}" SYMBOLIC)
        install(FILES "${link}" DESTINATION bin)
    endif()
endfunction()

set(CPACK_PACKAGE_NAME ${RAVLO_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR Ravlo)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Write the current firmware into a Ravlo device")
set(CPACK_PACKAGE_DESCRIPTION [[
Put a Ravlo device into its USB DFU mode, connect it and press Upgrade: the
program finds the device with dfu-util, downloads the current firmware image
over HTTPS, checks its SHA-256 digest against the update manifest and writes
it into the device. Get Version tells the newest firmware version.
.
The package lets the user logged in at the seat open a Ravlo device in DFU
mode (udev rule) and runs Debian's dfu-util.]])
set(CPACK_STRIP_FILES ON)

if(WIN32)
    # windeployqt sits beside qmake in Qt's bin folder; told which qmake, it
    # needs no Qt folder on PATH.
    get_target_property(RAVLO_QMAKE Qt5::qmake IMPORTED_LOCATION)
    get_filename_component(_qt_bin "${RAVLO_QMAKE}" DIRECTORY)
    find_program(WINDEPLOYQT_EXECUTABLE windeployqt HINTS "${_qt_bin}" NO_DEFAULT_PATH)
    if(NOT WINDEPLOYQT_EXECUTABLE)
        message(FATAL_ERROR "windeployqt was not found in ${_qt_bin}.")
    endif()

    # Qt 5.15 loads OpenSSL 1.1 at run time for HTTPS. Qt's installer puts it
    # in Tools/OpenSSL/Win_x64/bin of the Qt folder.
    set(RAVLO_OPENSSL_DIR "${_qt_bin}/../../../Tools/OpenSSL/Win_x64/bin" CACHE PATH
        "Folder with libssl-1_1-x64.dll and libcrypto-1_1-x64.dll")
    foreach(dll libssl-1_1-x64.dll libcrypto-1_1-x64.dll)
        string(MAKE_C_IDENTIFIER "RAVLO_${dll}" var)
        find_file(${var} ${dll} HINTS "${RAVLO_OPENSSL_DIR}" NO_DEFAULT_PATH)
        if(NOT ${var})
            message(FATAL_ERROR "${dll} was not found in ${RAVLO_OPENSSL_DIR}; set RAVLO_OPENSSL_DIR.")
        endif()
        install(FILES "${${var}}" DESTINATION .)
    endforeach()

    set(CMAKE_INSTALL_SYSTEM_RUNTIME_DESTINATION .)
    include(InstallRequiredSystemLibraries)

    set(_driver "${RAVLO_PACKAGING_DIR}/windows")
    install(FILES "${_driver}/ravlo-dfu.inf" "${_driver}/install-driver.cmd" DESTINATION driver)
    # The signed catalog, once there is one (docs/windows.md).
    if(EXISTS "${_driver}/ravlo-dfu.cat")
        install(FILES "${_driver}/ravlo-dfu.cat" DESTINATION driver)
    endif()

    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_FILE_NAME RavloFirmwareDownloader-${PROJECT_VERSION}-win64)
else()
    set(_linux "${RAVLO_PACKAGING_DIR}/linux")
    set(_generated "${CMAKE_BINARY_DIR}/packaging")
    configure_file("${_linux}/app.desktop.in" "${_generated}/${RAVLO_APP_ID}.desktop" @ONLY)
    configure_file("${_linux}/metainfo.xml.in" "${_generated}/${RAVLO_APP_ID}.metainfo.xml" @ONLY)
    install(FILES "${_generated}/${RAVLO_APP_ID}.desktop" DESTINATION share/applications)
    install(FILES "${_generated}/${RAVLO_APP_ID}.metainfo.xml" DESTINATION share/metainfo)
    foreach(size 48 128 256)
        install(FILES "${RAVLO_PACKAGING_DIR}/icons/icon-${size}.png"
            DESTINATION share/icons/hicolor/${size}x${size}/apps RENAME ${RAVLO_APP_ID}.png)
    endforeach()
    install(FILES "${RAVLO_PACKAGING_DIR}/icons/icon.svg"
        DESTINATION share/icons/hicolor/scalable/apps RENAME ${RAVLO_APP_ID}.svg)
    install(FILES "${_linux}/70-ravlo-dfu.rules" DESTINATION lib/udev/rules.d)

    # Debian wants the change log and manual pages compressed, reproducibly
    # (no name or time in the header).
    foreach(file changelog RavloFirmwareDownloader.1 ravlo-flash.1)
        set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${_linux}/${file}")
        execute_process(COMMAND gzip -9 -n -c "${_linux}/${file}"
            OUTPUT_FILE "${_generated}/${file}.gz" RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "gzip could not compress ${_linux}/${file}")
        endif()
    endforeach()
    install(FILES "${_linux}/copyright" "${_generated}/changelog.gz"
        DESTINATION share/doc/${RAVLO_PACKAGE_NAME})
    install(FILES "${_generated}/RavloFirmwareDownloader.1.gz" "${_generated}/ravlo-flash.1.gz"
        DESTINATION share/man/man1)
    install(FILES "${_linux}/lintian-overrides"
        DESTINATION share/lintian/overrides RENAME ${RAVLO_PACKAGE_NAME})

    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Ravlo <firmware@example.com>")
    set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
    set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${RAVLO_STORE_URL}")
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    # The tool is Debian's, reached through the link; libqt5svg5 holds the
    # SVG image plug-in, which no library of the program links to.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "dfu-util (>= 0.11), libqt5svg5")
    # ca-certificates to trust the HTTPS servers; Qt's own texts in Chinese.
    set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates, qttranslations5-l10n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${_linux}/postinst" "${_linux}/postrm")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)
