# Fails the build when a source folder includes a header from a folder it may
# not use. Folders are layered: text and audio at the bottom, then the platform
# seams, their implementations, the subsystems, app, and the panel on top. The
# entry point (app/main.cpp) builds the real platform and may use everything.
# Usage: cmake -DSRC=<src folder> -P CheckLayers.cmake

cmake_minimum_required(VERSION 3.25)

set(allowed_text          text)
set(allowed_audio         audio)
set(allowed_platform      platform)
set(allowed_platform/x11   platform/x11 platform)
set(allowed_platform/pulse platform/pulse platform)
set(allowed_platform/mpris platform/mpris platform)
set(allowed_platform/qt    platform/qt platform/x11 platform text)
set(allowed_wallpaper     wallpaper platform audio text)
set(allowed_nowplaying    nowplaying wallpaper platform audio text)
set(allowed_compose       compose nowplaying wallpaper platform audio text)
set(allowed_app           app compose nowplaying wallpaper platform audio text)
set(allowed_panel         panel app compose nowplaying wallpaper platform audio text)

file(GLOB_RECURSE sources RELATIVE ${SRC} ${SRC}/*.h ${SRC}/*.cpp)
set(violations "")
foreach(source ${sources})
  if(source STREQUAL "app/main.cpp")
    continue()
  endif()
  get_filename_component(folder ${source} DIRECTORY)
  if(NOT DEFINED allowed_${folder})
    string(APPEND violations "  ${source}: folder '${folder}' has no place in the layers (cmake/CheckLayers.cmake)\n")
    continue()
  endif()
  file(STRINGS ${SRC}/${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[^\"]+/[^\"/]+\"")
  foreach(line ${includes})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]+\"([^\"]+)/[^\"/]+\".*" "\\1" used "${line}")
    if(NOT used IN_LIST allowed_${folder})
      string(APPEND violations "  ${source} includes from ${used}/\n")
    endif()
  endforeach()
endforeach()
if(violations)
  message(FATAL_ERROR "A folder includes one above it or beside it:\n${violations}")
endif()
