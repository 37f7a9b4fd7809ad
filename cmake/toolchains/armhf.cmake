# 32-bit ARM (Debian armhf) with Debian's cross compilers and the :armhf
# libraries of multiarch; programs run under qemu-user. scripts/cross.sh
# installs all of it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QMR_CROSS_TRIPLET arm-linux-gnueabihf)
set(QMR_QEMU qemu-arm)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE armhf)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
# GCC notes that GCC 7.1 changed how some arguments are passed on 32-bit ARM;
# everything here is built by one compiler, so the notes say nothing.
set(CMAKE_CXX_FLAGS_INIT -Wno-psabi)
