# What the libFuzzer projects (tests/fuzz, drivers/fuzz) share: whether the compiler has
# libFuzzer (VELMO_HAVE_LIBFUZZER), the flags of a fuzz target, and a library of project sources
# built for fuzzing.
include(${CMAKE_CURRENT_LIST_DIR}/Ccache.cmake)
include(CheckCXXSourceCompiles)
set(CMAKE_REQUIRED_FLAGS "-fsanitize=fuzzer")
check_cxx_source_compiles(
  "#include <cstddef>
   #include <cstdint>
   extern \"C\" int LLVMFuzzerTestOneInput(const uint8_t*, size_t) { return 0; }"
  VELMO_HAVE_LIBFUZZER)
unset(CMAKE_REQUIRED_FLAGS)
if(NOT VELMO_HAVE_LIBFUZZER)
  message(WARNING "this compiler has no libFuzzer (clang with libclang-rt): no fuzz targets")
endif()

set(fuzz_flags -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer)

function(velmo_fuzz_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${VELMO_SOURCE_DIR})
  target_compile_options(${name} PUBLIC -fsanitize=fuzzer-no-link,address,undefined
    -fno-sanitize-recover=undefined -fno-omit-frame-pointer -Wall -Wextra)
  target_link_options(${name} PUBLIC ${fuzz_flags})
endfunction()

# A fuzz target: <name>.cpp of the calling folder, linked with the given libraries.
function(velmo_fuzz_target name)
  add_executable(${name} ${name}.cpp)
  target_compile_options(${name} PRIVATE ${fuzz_flags})
  target_link_libraries(${name} PRIVATE ${ARGN})
endfunction()
