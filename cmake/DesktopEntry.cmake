# zarv_desktop_entry(<output> GAME_DIR <absolute path> | USER_DIR <name>):
# writes the menu entry from res/zarv_settings.desktop.in. The program works
# on the config.ini of its working folder, so the entry starts it either in
# the game's folder (Path=) or in the player's own folder
# $XDG_CONFIG_HOME/<name> (default ~/.config/<name>), which it makes, for the
# player alone, on first use. A desktop expands no variables in Path=, so the
# second runs through sh.
function(zarv_desktop_entry output)
  cmake_parse_arguments(arg "" "GAME_DIR;USER_DIR" "" ${ARGN})
  if(arg_USER_DIR)
    set(script "d=\${XDG_CONFIG_HOME:-\$HOME/.config}/${arg_USER_DIR} && mkdir -p -m 700 \"\$d\" && cd \"\$d\" && exec zarv_settings")
    # An argument of Exec in double quotes escapes " ` $ \ with a backslash;
    # the string escapes then double every backslash.
    foreach(char "\\" "\"" "`" "$")
      string(REPLACE "${char}" "\\${char}" script "${script}")
    endforeach()
    string(REPLACE "\\" "\\\\" script "${script}")
    set(launch "Exec=sh -c \"${script}\"")
  else()
    set(launch "Exec=zarv_settings\nPath=${arg_GAME_DIR}")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/res/zarv_settings.desktop.in ${output} @ONLY)
endfunction()
