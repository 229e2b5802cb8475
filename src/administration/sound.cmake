# The sound channel on SDL2. A library of its own so that the core stays free of SDL and the tests of the
# administration logic keep using the fake channel; SDL is private, the header needs none of it.
find_package(PkgConfig REQUIRED)
# GLOBAL: the latency benchmark opens a capture device through SDL itself.
pkg_check_modules(SDL2 REQUIRED IMPORTED_TARGET GLOBAL sdl2)

add_library(vigix_sound STATIC
    ${CMAKE_CURRENT_SOURCE_DIR}/SdlSoundChannel.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/SdlSoundChannel.h
)
target_include_directories(vigix_sound PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(vigix_sound PUBLIC vigix_core PRIVATE PkgConfig::SDL2)
