# Fuzz target of svf2qsvf96: arbitrary bytes are written to a temporary SVF
# file and translated in-process by runSvf2qsvf96.  A first byte of 0x80 or
# above picks options from its low bits.
if(TARGET svf2qsvf96_core)
  add_executable(fuzz_svf2qsvf96 ${CMAKE_CURRENT_LIST_DIR}/svf2qsvf96.cpp)
  target_link_libraries(fuzz_svf2qsvf96 PRIVATE svf2qsvf96_core)
  target_link_options(fuzz_svf2qsvf96 PRIVATE -fsanitize=fuzzer)
endif()
