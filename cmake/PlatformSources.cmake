# tq905_platform_sources(TARGET WIN FILE... UNIX FILE...): the files of this
# platform's side of each seam in a folder, a file per platform, added to TARGET.
function(tq905_platform_sources target)
    cmake_parse_arguments(PARSE_ARGV 1 side "" "" "WIN;UNIX")
    if(WIN32)
        target_sources(${target} PRIVATE ${side_WIN})
    else()
        target_sources(${target} PRIVATE ${side_UNIX})
    endif()
endfunction()
