# Cross build for another Linux architecture with Debian's cross compilers, run under qemu-user.
# Pass -DQUILLFEN_ARCH=i686|armhf|aarch64|s390x. Everything links statically, so the emulator
# needs no target libraries.
set(QUILLFEN_ARCH "" CACHE STRING "Target architecture: i686, armhf, aarch64 or s390x")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUILLFEN_ARCH)

# Per architecture: the compilers' triplet, qemu's name for it, and the processor.
set(_i686 i686-linux-gnu i386 i686)
set(_armhf arm-linux-gnueabihf arm arm)
set(_aarch64 aarch64-linux-gnu aarch64 aarch64)
set(_s390x s390x-linux-gnu s390x s390x)
if(NOT QUILLFEN_ARCH MATCHES "^(i686|armhf|aarch64|s390x)$")
  message(FATAL_ERROR "QUILLFEN_ARCH must be i686, armhf, aarch64 or s390x, not '${QUILLFEN_ARCH}'")
endif()
list(GET _${QUILLFEN_ARCH} 0 _triplet)
list(GET _${QUILLFEN_ARCH} 1 _qemu)
list(GET _${QUILLFEN_ARCH} 2 CMAKE_SYSTEM_PROCESSOR)

set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${_triplet}-gcc)
set(CMAKE_CXX_COMPILER ${_triplet}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${_triplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
find_program(_qemu_path qemu-${_qemu}-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${_qemu_path})
