# The small game (examples/game.c) and its pictures and sounds, made at build
# time into bin/game/: PNG images with alpha by ImageMagick, a WAVE sound by
# sox, an Ogg Vorbis tune by sox and oggenc.
#
# Without those tools the game is not built, and bin/game-not-built.txt says
# why (the game's test reports it).
set(KORRIN_GAME_DIR ${CMAKE_BINARY_DIR}/bin/game)
set(KORRIN_GAME_NOTE ${CMAKE_BINARY_DIR}/bin/game-not-built.txt)
find_program(KORRIN_SOX sox)
find_program(KORRIN_OGGENC oggenc)
find_program(KORRIN_GAME_CONVERT convert)
if(NOT KORRIN_SOX OR NOT KORRIN_OGGENC OR NOT KORRIN_GAME_CONVERT)
  file(WRITE ${KORRIN_GAME_NOTE} "its assets need ImageMagick (convert), sox and oggenc (vorbis-tools)\n")
  message(STATUS "the game is not built: its assets need ImageMagick, sox and oggenc")
  return()
endif()
file(REMOVE ${KORRIN_GAME_NOTE})
set(KORRIN_GAME_ASSETS ${KORRIN_GAME_DIR}/back.png ${KORRIN_GAME_DIR}/player.png ${KORRIN_GAME_DIR}/rock.png
  ${KORRIN_GAME_DIR}/panel.png ${KORRIN_GAME_DIR}/star.png ${KORRIN_GAME_DIR}/bump.wav ${KORRIN_GAME_DIR}/music.ogg)
add_custom_command(OUTPUT ${KORRIN_GAME_ASSETS}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${KORRIN_GAME_DIR}
  # A sky over a meadow, opaque.
  COMMAND ${KORRIN_GAME_CONVERT} -size 640x480 "gradient:#3a6ea5-#b8d8f0" -fill "#4f9a3c"
          -draw "rectangle 0,360 640,480" -fill "#f4f4f0" -draw "ellipse 120,70 50,18 0,360"
          -draw "ellipse 420,110 70,22 0,360" PNG24:${KORRIN_GAME_DIR}/back.png
  # The ball: yellow with an outline and an eye, soft-edged, on transparency
  # whose colour is black.
  COMMAND ${KORRIN_GAME_CONVERT} -size 48x48 xc:none -fill "#f2c230" -stroke "#8a6400" -strokewidth 3
          -draw "circle 24,24 24,3" -stroke none -fill "#303040" -draw "circle 31,18 31,13" PNG32:${KORRIN_GAME_DIR}/player.png
  # A rock, grey on black (the transparent colour).
  COMMAND ${KORRIN_GAME_CONVERT} -size 64x56 xc:black -fill "#8c8782" -stroke "#55504c" -strokewidth 3
          -draw "polygon 5,52 12,18 34,4 57,16 61,52" PNG24:${KORRIN_GAME_DIR}/rock.png
  # A panel with three bars, drawn translucent over the bottom of the picture.
  COMMAND ${KORRIN_GAME_CONVERT} -size 640x48 "xc:#16265a" -fill "#e04040" -draw "rectangle 16,14 176,34"
          -fill "#40c060" -draw "rectangle 200,14 300,34" -fill "#f0d040" -draw "rectangle 324,14 364,34"
          PNG24:${KORRIN_GAME_DIR}/panel.png
  # A gold star with alpha, for the 3D sprite.
  COMMAND ${KORRIN_GAME_CONVERT} -size 64x64 xc:none -fill "#ffd21e" -stroke "#b07800" -strokewidth 3
          -draw "polygon 32,3 40,24 62,24 44,38 51,60 32,47 13,60 20,38 2,24 24,24" PNG32:${KORRIN_GAME_DIR}/star.png
  # The thud: a falling tone in a plain 16-bit PCM WAVE.
  COMMAND ${KORRIN_SOX} -n -r 22050 -c 1 -b 16 -t wavpcm ${KORRIN_GAME_DIR}/bump.wav
          synth 0.3 sine 180:60 fade 0 0.3 0.25
  # The tune: two seconds of a plucked chord, then Ogg Vorbis.
  COMMAND ${KORRIN_SOX} -n -r 22050 -c 2 -b 16 ${KORRIN_GAME_DIR}/music.wav
          synth 2 pluck C3 pluck G3 fade 0 2 0.5 vol 0.5
  COMMAND ${KORRIN_OGGENC} -Q -q 2 -o ${KORRIN_GAME_DIR}/music.ogg ${KORRIN_GAME_DIR}/music.wav
  COMMAND ${CMAKE_COMMAND} -E remove ${KORRIN_GAME_DIR}/music.wav
  DEPENDS ${CMAKE_SOURCE_DIR}/cmake/game.cmake
  VERBATIM)
add_custom_target(game_assets ALL DEPENDS ${KORRIN_GAME_ASSETS})

add_executable(game examples/game.c)
target_include_directories(game PRIVATE ${CMAKE_SOURCE_DIR}/include)
add_dependencies(game korrin korrin_import_library game_assets)
target_link_libraries(game PRIVATE ${KORRIN_IMPORT_LIB})
target_link_options(game PRIVATE ${KORRIN_STATIC_RUNTIME})
# A command called without a declaration would be called with the wrong
# calling convention.
target_compile_options(game PRIVATE -Wall -Werror=implicit-function-declaration)
