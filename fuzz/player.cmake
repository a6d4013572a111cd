# Fuzz target of the player library: arbitrary streams played with any
# buffer size, read in chunks of any size, with and without bulk shifts.
if(TARGET qsvfplay_lib)
  add_executable(fuzz_player ${CMAKE_CURRENT_LIST_DIR}/player.cpp)
  target_include_directories(fuzz_player PRIVATE ${CMAKE_SOURCE_DIR}/player)
  target_link_libraries(fuzz_player PRIVATE qsvf_format)
  target_link_options(fuzz_player PRIVATE -fsanitize=fuzzer)
endif()
