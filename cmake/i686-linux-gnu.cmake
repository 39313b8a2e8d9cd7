# Cross build for 32-bit x86 (Debian's i386 port: Pentium Pro and later, the boards' own CPUs)
# from an x86-64 machine, with Debian's i686 cross compiler and the multi-arch i386 packages of the
# libraries (scripts/install-deps.sh --i386 installs them). The result runs natively on an x86-64
# kernel, so the tests run as they are.
#   cmake -S . -B build/i386 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/i686-linux-gnu.cmake
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
