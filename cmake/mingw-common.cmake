set(CMAKE_C_COMPILER   ${VESTIBAR_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESTIBAR_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${VESTIBAR_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VESTIBAR_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Everything links the runtime statically, so the executables need nothing
# beside them but NKF32.dll.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--dynamicbase,--nxcompat")

# Test programs run under Wine; ctest goes through this wrapper.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
