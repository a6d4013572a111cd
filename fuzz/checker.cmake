# Fuzz target of qsvfcheck's two readers: each input is an SVF text and a
# QSVF stream, checked against each other and traced, in-process.
if(TARGET qsvfcheck_core)
  add_executable(fuzz_checker ${CMAKE_CURRENT_LIST_DIR}/checker.cpp)
  target_link_libraries(fuzz_checker PRIVATE qsvfcheck_core)
  target_link_options(fuzz_checker PRIVATE -fsanitize=fuzzer)
endif()
