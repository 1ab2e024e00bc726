# Common compile settings of the project's own targets: warnings, and the
# sanitizers when RAVLO_SANITIZE is on. Helper binaries that are loaded into or
# stand in for uninstrumented programs (the simulated USB library, the stand-in
# tool) deliberately do not use this.
function(ravlo_target_defaults target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra)
    endif()
    target_compile_definitions(${target} PRIVATE
        QT_DISABLE_DEPRECATED_BEFORE=0x050F00)
    if(RAVLO_SANITIZE)
        target_compile_options(${target} PRIVATE
            -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
        target_link_options(${target} PRIVATE -fsanitize=address,undefined)
    endif()
endfunction()
