# tq905_platform_sources(TARGET): each platform builds its own side of a seam.
# Of the target's sources, a file named *_unix, *_linux or *_win (before its
# extension) is kept only on that platform; every other file everywhere.
function(tq905_platform_sources target)
    if(WIN32)
        set(elsewhere "unix|linux")
    elseif(CMAKE_SYSTEM_NAME STREQUAL "Linux")
        set(elsewhere "win")
    else()
        set(elsewhere "win|linux")
    endif()
    get_target_property(sources ${target} SOURCES)
    list(FILTER sources EXCLUDE REGEX "_(${elsewhere})\\.[a-z]+$")
    set_property(TARGET ${target} PROPERTY SOURCES ${sources})
endfunction()
