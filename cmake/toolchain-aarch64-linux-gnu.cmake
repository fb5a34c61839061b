# Cross-build for 64-bit ARM panels with Debian's cross compiler and the arm64
# multiarch packages of Qt 5 (qtbase5-dev:arm64, libqt5sql5-sqlite:arm64,
# libgtest-dev:arm64). Host tools (moc) come from the build machine's Qt.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(triple aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${triple}-gcc)
set(CMAKE_CXX_COMPILER ${triple}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${triple})

# Libraries and headers only from the arm64 multiarch folders; programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${triple} /usr/lib/${triple} /)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_PREFIX_PATH /usr/lib/${triple}/cmake)

# Test programs run under user-mode emulation.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64;-L;/usr/${triple})
