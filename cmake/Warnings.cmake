# Project-wide warning flags. MARKWELL_WERROR turns them into errors; scripts/test and CI turn it on, and it is
# off by default so that a newer compiler's new warnings do not stop an ordinary build.
option(MARKWELL_WERROR "Treat compiler warnings as errors" OFF)

function(markwell_warnings target)
    if(MSVC)
        target_compile_options(${target} PRIVATE /W4)
        if(MARKWELL_WERROR)
            target_compile_options(${target} PRIVATE /WX)
        endif()
    else()
        target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
        if(MARKWELL_WERROR)
            target_compile_options(${target} PRIVATE -Werror)
            # GCC 12's optimised builds report false positives inside the standard library
            # (std::variant in vector::insert, std::string copies); they stay warnings.
            if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
                target_compile_options(${target} PRIVATE -Wno-error=maybe-uninitialized -Wno-error=restrict
                                       -Wno-error=stringop-overflow -Wno-error=array-bounds)
            endif()
        endif()
    endif()
endfunction()
