# zarv_desktop_entry(<output> PROGRAM <absolute path>
#                    [NAME <name>] [NAME_ZH_CN <name>] [NAME_ZH_TW <name>]
#                    GAME_DIR <absolute path> | USER_DIR <name>):
# writes the menu entry from res/zarv_settings.desktop.in. The program works
# on the config.ini of its working folder, so the entry starts it either in
# the game's folder (Path=) or in the player's own folder
# $XDG_CONFIG_HOME/<name> (default ~/.config/<name>; a relative
# XDG_CONFIG_HOME is ignored), which it makes, for the player alone, on first
# use. A desktop expands no variables in Path=, so the second runs through
# sh. Exec names the program by its absolute path: a desktop's PATH need not
# hold games/. The Chinese names default to NAME when it is given.
function(zarv_desktop_entry output)
  cmake_parse_arguments(arg "" "PROGRAM;NAME;NAME_ZH_CN;NAME_ZH_TW;GAME_DIR;USER_DIR" "" ${ARGN})
  if(NOT IS_ABSOLUTE "${arg_PROGRAM}")
    message(FATAL_ERROR "the menu entry needs the program's absolute path: ${arg_PROGRAM}")
  endif()
  foreach(name NAME NAME_ZH_CN NAME_ZH_TW)
    if(arg_${name} MATCHES "[\n\r\t]")
      message(FATAL_ERROR "a menu name is one line: ${arg_${name}}")
    endif()
  endforeach()
  set(name "Zarv Settings")
  set(name_zh_cn "环境配置")
  set(name_zh_tw "設定程式")
  if(arg_NAME)
    set(name "${arg_NAME}")
    set(name_zh_cn "${arg_NAME}")
    set(name_zh_tw "${arg_NAME}")
  endif()
  if(arg_NAME_ZH_CN)
    set(name_zh_cn "${arg_NAME_ZH_CN}")
  endif()
  if(arg_NAME_ZH_TW)
    set(name_zh_tw "${arg_NAME_ZH_TW}")
  endif()
  # The string escapes of the values: a backslash is doubled.
  foreach(value name name_zh_cn name_zh_tw)
    string(REPLACE "\\" "\\\\" ${value} "${${value}}")
  endforeach()

  if(arg_USER_DIR)
    # The program's path in sh's single quotes.
    string(REPLACE "'" "'\\''" program "${arg_PROGRAM}")
    set(command "c=\${XDG_CONFIG_HOME:-}; case \$c in /*) ;; *) c=\$HOME/.config ;; esac; d=\$c/${arg_USER_DIR} && mkdir -p -m 700 \"\$d\" && cd \"\$d\" && exec '${program}'")
    set(launch "Exec=sh -c ")
  else()
    set(command "${arg_PROGRAM}")
    set(launch "Exec=")
  endif()
  # An argument of Exec with other characters than these goes in double
  # quotes, inside which " ` $ \ take a backslash; % is doubled and the
  # string escapes then double every backslash.
  if(NOT command MATCHES "^[A-Za-z0-9_/.+-]+$")
    foreach(char "\\" "\"" "`" "$")
      string(REPLACE "${char}" "\\${char}" command "${command}")
    endforeach()
    set(command "\"${command}\"")
  endif()
  string(REPLACE "%" "%%" command "${command}")
  string(REPLACE "\\" "\\\\" command "${command}")
  string(APPEND launch "${command}")
  if(NOT arg_USER_DIR)
    string(REPLACE "\\" "\\\\" game_dir "${arg_GAME_DIR}")
    string(APPEND launch "\nPath=${game_dir}")
  endif()
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../res/zarv_settings.desktop.in ${output} @ONLY)
endfunction()
