# Fuzz target of the frame store's database reader: arbitrary bytes are
# written as a database file and read in-process; a file that reads is
# written again and must read back equal.
if(TARGET Lmr_Zutils)
  add_executable(fuzz_zutils_db ${CMAKE_CURRENT_LIST_DIR}/zutils_db.cpp)
  target_link_libraries(fuzz_zutils_db PRIVATE Lmr_Zutils)
  target_link_options(fuzz_zutils_db PRIVATE -fsanitize=fuzzer)
endif()
