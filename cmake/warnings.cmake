# Warnings for our own targets (third-party headers come in as system headers).
function(asiochan_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wcast-align -Wformat=2)
    if(ASIOCHAN_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

function(asiochan_includes target)
    target_include_directories(${target} PUBLIC ${ASIOCHAN_ROOT}/src ${ASIOCHAN_ROOT}/tools ${ASIOCHAN_ROOT}/include)
endfunction()
