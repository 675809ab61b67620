# Warnings, sanitizers and the project's common compile settings, applied per target.
function(brimble_target_settings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
    if(BRIMBLE_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
    target_include_directories(${target} PUBLIC ${CMAKE_SOURCE_DIR}/src ${CMAKE_BINARY_DIR}/generated)
endfunction()

if(BRIMBLE_SANITIZE)
    string(REPLACE ";" "," _san "${BRIMBLE_SANITIZE}")
    add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_san})
endif()
