# Cross build for 32-bit x86 (Debian's i386 port: Pentium Pro and later, the boards' own CPUs)
# from an x86-64 machine, with Debian's i686 cross compiler and the multi-arch i386 packages of the
# libraries (scripts/install-deps.sh --i386 installs them).
#   cmake -S . -B build/i386 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
# The programs run natively where the kernel runs 32-bit programs. Where it does not (a kernel
# without IA-32 emulation), or with -DVELMO_I386_QEMU=ON (or VELMO_I386_QEMU=1 in the
# environment), the test programs run under qemu-i386 (Debian's qemu-user-static) as the
# cross-compiling emulator; VELMO_I386_EMULATOR in the cache says which way was taken.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER i686-linux-gnu-g++)
# Libraries and their CMake packages from /usr/lib/i386-linux-gnu; headers are shared.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(ENV{PKG_CONFIG_LIBDIR} "/usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig")
# moc, rcc and uic are the build machine's.
set(QT_HOST_PATH /usr)
set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
# The package's architecture.
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE i386)

# Whether this kernel runs 32-bit x86 programs: a program of one system call (exit 0), needing no
# library, tells. Asked once per build tree.
if(NOT DEFINED VELMO_I386_NATIVE)
  set(_probe ${CMAKE_BINARY_DIR}/CMakeFiles/i386-probe)
  file(WRITE ${_probe}.c
    "void _start(void) { __asm__ volatile(\"movl $1, %eax\\n xorl %ebx, %ebx\\n int $0x80\"); }\n")
  execute_process(COMMAND ${CMAKE_C_COMPILER} -nostdlib -static -o ${_probe} ${_probe}.c
    RESULT_VARIABLE _built OUTPUT_QUIET ERROR_QUIET)
  set(_ran 1)
  if(_built EQUAL 0)
    execute_process(COMMAND ${_probe} RESULT_VARIABLE _ran OUTPUT_QUIET ERROR_QUIET)
  endif()
  if(_ran STREQUAL "0")
    set(VELMO_I386_NATIVE ON CACHE BOOL "This kernel runs 32-bit x86 programs")
  else()
    set(VELMO_I386_NATIVE OFF CACHE BOOL "This kernel runs 32-bit x86 programs")
  endif()
endif()
if(NOT DEFINED VELMO_I386_QEMU)
  if("$ENV{VELMO_I386_QEMU}" STREQUAL "1")
    set(VELMO_I386_QEMU ON CACHE BOOL "Run the 32-bit test programs under qemu-i386")
  else()
    set(VELMO_I386_QEMU OFF CACHE BOOL "Run the 32-bit test programs under qemu-i386")
  endif()
endif()
if(VELMO_I386_QEMU OR NOT VELMO_I386_NATIVE)
  find_program(VELMO_QEMU_I386 NAMES qemu-i386-static qemu-i386)
  if(NOT VELMO_QEMU_I386)
    message(FATAL_ERROR "32-bit x86 programs need qemu-i386 here (Debian: qemu-user-static)")
  endif()
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMO_QEMU_I386})
  set(VELMO_I386_EMULATOR ${VELMO_QEMU_I386} CACHE INTERNAL "What runs the 32-bit test programs")
else()
  set(VELMO_I386_EMULATOR "" CACHE INTERNAL "What runs the 32-bit test programs")
endif()
