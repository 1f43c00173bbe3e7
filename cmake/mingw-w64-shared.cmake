# The Windows cross-build with Qt: as mingw-w64.cmake, but linked against the
# mingw run-time DLLs, as Qt's own DLLs are, so that one C++ run-time serves
# the program and Qt.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
set(CMAKE_EXE_LINKER_FLAGS_INIT "")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "")
