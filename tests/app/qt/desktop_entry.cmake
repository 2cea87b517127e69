# The menu entry the build writes for ZARV_USER_DIR and ZARV_MENU_NAME, for a program installed
# elsewhere: cmake -DOUTPUT=<file> -DPROGRAM=<path> -DUSER_DIR=<name> -DNAME=<name> -P <this>
include(${CMAKE_CURRENT_LIST_DIR}/../../../cmake/DesktopEntry.cmake)
zarv_desktop_entry(${OUTPUT} PROGRAM ${PROGRAM} USER_DIR ${USER_DIR} NAME ${NAME})
