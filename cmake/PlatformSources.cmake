# tq905_platform_sources(TARGET): each platform builds its own side of a seam.
# Of the target's sources, a file named *_win (before its extension) is kept
# only on Windows, and one named *_linux (Linux's own calls) or *_unix (POSIX's)
# only on Linux; every other file everywhere.
function(tq905_platform_sources target)
    if(WIN32)
        set(elsewhere "unix|linux")
    else()
        set(elsewhere "win")
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "_(${elsewhere})\\.[a-z]+$")
    set_property(TARGET ${target} PROPERTY SOURCES ${sources})
endfunction()
