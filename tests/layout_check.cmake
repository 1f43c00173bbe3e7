# Fails when a source file breaks the layering rules:
#  - engine folders (everything under src/ but ui/) include no Qt header;
#  - nothing under src/ but the main window includes main_window.h;
#  - an engine folder includes only the folders it builds on (the graph of
#    src/CMakeLists.txt and src/README.md), and no engine folder includes ui/;
#  - a window folder ui/<folder> includes, of the engine, only core, app,
#    display (the drawing every window does), its own folder and what that
#    folder builds on; of the windows, only ui/
#    itself, ui/platform, ui/display (the picture the others draw on) and
#    its own folder;
#  - no file under src/ is longer than 600 lines.
# Run as: cmake -DSRC=<src folder> -P layout_check.cmake
cmake_minimum_required(VERSION 3.20)
set(builds_on_core "")
set(builds_on_display core)
set(builds_on_lightcurve core display)
set(builds_on_photometry core display lightcurve)
set(builds_on_processing core)
set(builds_on_spectrum core processing)
set(builds_on_app core display lightcurve photometry processing spectrum)
set(engine_folders core display lightcurve photometry processing spectrum app)

file(GLOB_RECURSE sources "${SRC}/*.h" "${SRC}/*.cpp")
set(faults "")
foreach(f IN LISTS sources)
  file(RELATIVE_PATH rel "${SRC}" "${f}")
  file(READ "${f}" content)
  string(REGEX MATCHALL "\n" line_ends "${content}")
  list(LENGTH line_ends length)
  if(length GREATER 600)
    list(APPEND faults "${rel}: ${length} lines, more than 600")
  endif()
  string(REGEX MATCH "^[a-z_]+" folder "${rel}")
  set(window_folder "")
  if(rel MATCHES "^ui/([a-z_]+)/")
    set(window_folder "${CMAKE_MATCH_1}")
  endif()
  file(STRINGS "${f}" includes REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS includes)
    if(line MATCHES "main_window\\.h" AND NOT rel MATCHES "^ui/main_window\\.")
      list(APPEND faults "${rel}: includes the main window: ${line}")
    endif()
    set(target "")
    if(line MATCHES "\"([a-z_]+)/")
      set(target "${CMAKE_MATCH_1}")
    endif()
    if(NOT folder STREQUAL "ui")
      # The engine.
      if(line MATCHES "<Q[A-Za-z]*>|<Qt[A-Za-z]*/")
        list(APPEND faults "${rel}: Qt in the engine: ${line}")
      endif()
      if(target STREQUAL "ui")
        list(APPEND faults "${rel}: the engine includes a window: ${line}")
      elseif(target AND NOT target STREQUAL folder AND NOT target IN_LIST builds_on_${folder})
        list(APPEND faults "${rel}: ${folder} does not build on ${target}: ${line}")
      endif()
    elseif(window_folder AND NOT window_folder STREQUAL "platform")
      # A subsystem's windows.
      if(target STREQUAL "ui")
        set(ui_target "")
        if(line MATCHES "\"ui/([a-z_]+)/")
          set(ui_target "${CMAKE_MATCH_1}")
        endif()
        if(ui_target AND NOT ui_target STREQUAL window_folder AND NOT ui_target STREQUAL "platform"
           AND NOT ui_target STREQUAL "display")
          list(APPEND faults "${rel}: the ${window_folder} windows include the ${ui_target} windows: ${line}")
        endif()
      elseif(target AND target IN_LIST engine_folders)
        set(allowed core app display ${window_folder} ${builds_on_${window_folder}})
        if(NOT target IN_LIST allowed)
          list(APPEND faults "${rel}: the ${window_folder} windows include ${target}: ${line}")
        endif()
      endif()
    endif()
  endforeach()
endforeach()
if(faults)
  string(REPLACE ";" "\n" text "${faults}")
  message(FATAL_ERROR "layering rules broken:\n${text}")
endif()
list(LENGTH sources n)
message(STATUS "layering rules hold for ${n} files")
