# lmr_library_package(<target> SOVERSION <n>): everything that makes one of
# the tool family's shared libraries usable by other projects, in one place.
# Called from the library's folder, which holds include/<target>/*.h (the
# public headers), <target>Config.cmake.in and <target>.pc.in.  It gives the
# target its alias Lmr::<target>, its include folders, its version and
# SONAME, and installs the library with its SONAME links, the headers, the
# CMake package (exported targets, package and version files) into
# <libdir>/cmake/<target>, and the pkg-config file into <libdir>/pkgconfig.
#
# An installation made with `cmake --install --prefix` may be moved: the
# library finds its neighbours through RPATH $ORIGIN, and the pkg-config
# file finds the prefix from its own folder and puts the library folder on
# the consumer's run path.  A distribution build sets
# CMAKE_SKIP_INSTALL_RPATH (its libraries sit in a folder the dynamic linker
# searches): no run path then, neither in the libraries nor in what
# pkg-config hands to consumers, and the pkg-config file names its prefix
# as it is.
include_guard(GLOBAL)
include(CMakePackageConfigHelpers)

function(lmr_library_package target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "SOVERSION" "")
  if(NOT arg_SOVERSION)
    message(FATAL_ERROR "lmr_library_package(${target}): SOVERSION missing")
  endif()
  set(source_dir ${CMAKE_CURRENT_SOURCE_DIR})
  set(binary_dir ${CMAKE_CURRENT_BINARY_DIR})
  set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/${target})

  add_library(Lmr::${target} ALIAS ${target})
  target_include_directories(${target} PUBLIC
    $<BUILD_INTERFACE:${source_dir}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  set_target_properties(${target} PROPERTIES VERSION ${PROJECT_VERSION} SOVERSION ${arg_SOVERSION}
    INSTALL_RPATH "$ORIGIN")

  install(TARGETS ${target} EXPORT ${target}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Lmr_Libraries
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT Lmr_Libraries
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT Lmr_Libraries)
  install(DIRECTORY ${source_dir}/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT Lmr_Libraries
    FILES_MATCHING PATTERN "*.h")
  install(EXPORT ${target}Targets NAMESPACE Lmr:: DESTINATION ${cmake_dir} COMPONENT Lmr_Libraries)

  configure_package_config_file(${source_dir}/${target}Config.cmake.in ${binary_dir}/${target}Config.cmake
    INSTALL_DESTINATION ${cmake_dir})
  write_basic_package_version_file(${binary_dir}/${target}ConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
  install(FILES ${binary_dir}/${target}Config.cmake ${binary_dir}/${target}ConfigVersion.cmake
    DESTINATION ${cmake_dir} COMPONENT Lmr_Libraries)

  # pkg-config: in a relocatable installation the prefix relative to the
  # .pc file's folder, and the library folder on the consumer's run path;
  # in a distribution build the prefix as it is, and no run path.
  if(CMAKE_SKIP_INSTALL_RPATH OR CMAKE_SKIP_RPATH)
    set(LMR_PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
    set(LMR_PC_RPATH "")
  else()
    file(RELATIVE_PATH pc_to_prefix
      ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
    string(REGEX REPLACE "/$" "" pc_to_prefix "${pc_to_prefix}")
    set(LMR_PC_PREFIX "\${pcfiledir}/${pc_to_prefix}")
    set(LMR_PC_RPATH "-Wl,-rpath,\${libdir} ")
  endif()
  configure_file(${source_dir}/${target}.pc.in ${binary_dir}/${target}.pc @ONLY)
  install(FILES ${binary_dir}/${target}.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT Lmr_Libraries)
endfunction()
