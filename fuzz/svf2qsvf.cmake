# Fuzz target of the whole translator: arbitrary bytes are written to a
# temporary SVF file and translated in-process by runSvf2qsvf.  A first byte
# of 0x80 or above picks translation options from its low bits.
if(TARGET svf2qsvf_core)
  add_executable(fuzz_svf2qsvf ${CMAKE_CURRENT_LIST_DIR}/svf2qsvf.cpp)
  target_include_directories(fuzz_svf2qsvf PRIVATE ${CMAKE_SOURCE_DIR}/translator)
  target_link_libraries(fuzz_svf2qsvf PRIVATE svf2qsvf_core)
  target_link_options(fuzz_svf2qsvf PRIVATE -fsanitize=fuzzer)
endif()
