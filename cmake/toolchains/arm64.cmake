# 64-bit ARM (Debian arm64) with Debian's cross compilers and the :arm64
# libraries of multiarch; programs run under qemu-user. scripts/cross.sh
# installs all of it.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QMR_CROSS_TRIPLET aarch64-linux-gnu)
set(QMR_QEMU qemu-aarch64)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
include(${CMAKE_CURRENT_LIST_DIR}/debian-multiarch.cmake)
