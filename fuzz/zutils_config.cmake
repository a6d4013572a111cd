# Fuzz target of the configuration reader of the tool start-up: arbitrary
# bytes are read as configuration text into a fresh environment.
if(TARGET Lmr_Zutils)
  add_executable(fuzz_zutils_config ${CMAKE_CURRENT_LIST_DIR}/zutils_config.cpp)
  target_link_libraries(fuzz_zutils_config PRIVATE Lmr_Zutils)
  target_link_options(fuzz_zutils_config PRIVATE -fsanitize=fuzzer)
endif()
