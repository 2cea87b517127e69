# The menu entry the build writes for ZARV_USER_DIR, for a program installed
# elsewhere: cmake -DOUTPUT=<file> -DPROGRAM=<path> -DUSER_DIR=<name> -P desktop_entry.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/DesktopEntry.cmake)
zarv_desktop_entry(${OUTPUT} PROGRAM ${PROGRAM} USER_DIR ${USER_DIR})
