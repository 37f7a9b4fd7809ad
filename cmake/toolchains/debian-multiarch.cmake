# The part common to the Debian cross toolchains: compilers named by the
# triplet, libraries and CMake package files from /usr/lib/<triplet>, and the
# emulator that runs what the build makes (tests, test discovery, help2man).
set(CMAKE_C_COMPILER ${QMR_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QMR_CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${QMR_CROSS_TRIPLET})
# Multiarch keeps the target's libraries in /usr/lib/<triplet> of the host
# itself, so the root stays "/"; only that triplet's folders are searched.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
# The dynamic loader and libraries of the target sit where qemu looks by default.
set(CMAKE_CROSSCOMPILING_EMULATOR ${QMR_QEMU})
# GNUInstallDirs picks Debian's multiarch library folder only for native
# builds; a cross build names it.
set(CMAKE_INSTALL_LIBDIR lib/${QMR_CROSS_TRIPLET} CACHE PATH "Object code libraries (lib/<triplet>)")
