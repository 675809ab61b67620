# Warnings, sanitizers and the project's common compile settings, applied per target.
# Include roots are each target's own (see src/CMakeLists.txt), never set here.
function(brimble_target_settings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4 /permissive- /utf-8)
        if(BRIMBLE_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                                 -Wnon-virtual-dtor)
        if(BRIMBLE_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
        endif()
    endif()
endfunction()

if(BRIMBLE_SANITIZE)
    if(MSVC)
        message(FATAL_ERROR "BRIMBLE_SANITIZE is for GCC and Clang builds")
    endif()
    string(REPLACE ";" "," _san "${BRIMBLE_SANITIZE}")
    add_compile_options(-fsanitize=${_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=${_san})
endif()

if(BRIMBLE_FUZZ)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        message(FATAL_ERROR "BRIMBLE_FUZZ needs Clang, whose libFuzzer drives the fuzz targets "
                            "(this is ${CMAKE_CXX_COMPILER_ID}): configure a fresh build folder "
                            "with -DCMAKE_CXX_COMPILER=clang++")
    endif()
    # Every library the fuzz targets link reports its coverage to the fuzzer; only the
    # targets themselves link libFuzzer's main (fuzz/CMakeLists.txt).
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()
