# Request-to-sound latency of the SDL channel; bench/sound-latency runs it against a private PulseAudio. The
# monitor is recorded through libpulse (SDL's own capture falls behind real time on PulseAudio).
find_package(PkgConfig REQUIRED)
pkg_check_modules(PULSE REQUIRED IMPORTED_TARGET libpulse)
add_executable(bench_sound ${CMAKE_CURRENT_SOURCE_DIR}/bench_sound.cpp)
target_link_libraries(bench_sound PRIVATE vigix_sound PkgConfig::PULSE)
