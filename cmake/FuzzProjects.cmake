# The libFuzzer projects (tests/fuzz, drivers/fuzz) inside a main build tree: projects of their own,
# built with clang, and only in the plain tree (not the sanitizer or cross trees: the fuzz targets
# carry their own sanitizers) and only when asked for:
#   cmake --build build/release --target velmo_fuzzers && ctest -L fuzz
# Their bounded runs carry the label `fuzz` and are skipped (77) while the targets are not built.
find_program(VELMO_CLANGXX NAMES clang++ clang++-14)
if(VELMO_CLANGXX AND NOT CMAKE_CROSSCOMPILING AND NOT VELMO_SANITIZE)
  include(ExternalProject)
  add_custom_target(velmo_fuzzers)
  set(VELMO_FUZZ_TREES ON)
else()
  set(VELMO_FUZZ_TREES OFF)
endif()

# velmo_fuzz_project(<name> <source folder> <fuzz targets...>): builds the project into
# <build>/fuzz/<name> as part of velmo_fuzzers and sets velmo_fuzz_<name>_dir to that folder.
function(velmo_fuzz_project name source)
  set(dir ${PROJECT_BINARY_DIR}/fuzz/${name})
  list(TRANSFORM ARGN PREPEND ${dir}/ OUTPUT_VARIABLE binaries)
  ExternalProject_Add(velmo_${name}_fuzzers
    SOURCE_DIR ${source}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_CXX_COMPILER=${VELMO_CLANGXX} -DCMAKE_BUILD_TYPE=RelWithDebInfo
    BUILD_ALWAYS ON
    EXCLUDE_FROM_ALL ON
    INSTALL_COMMAND ""
    BUILD_BYPRODUCTS ${binaries})
  add_dependencies(velmo_fuzzers velmo_${name}_fuzzers)
  set(velmo_fuzz_${name}_dir ${dir} PARENT_SCOPE)
endfunction()

# velmo_fuzz_test(<test> <runner script> <fuzz binary> <seconds> [seed folders...])
function(velmo_fuzz_test name runner binary seconds)
  add_test(NAME ${name} COMMAND sh ${runner} ${binary} ${seconds} ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS fuzz SKIP_RETURN_CODE 77 TIMEOUT 120)
endfunction()
