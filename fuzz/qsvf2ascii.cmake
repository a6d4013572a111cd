# Fuzz target of the dumper's record loop: arbitrary bytes are listed
# in-process into nothing.
add_executable(fuzz_qsvf2ascii ${CMAKE_CURRENT_LIST_DIR}/qsvf2ascii.cpp)
target_link_libraries(fuzz_qsvf2ascii PRIVATE qsvf2ascii_core)
target_link_options(fuzz_qsvf2ascii PRIVATE -fsanitize=fuzzer)
