# The library's sources, listed once, relative to the source root. The DLL
# build and the native test build both include this file.
#
# The portable core: no windows.h, built into the DLL and, natively with
# sanitizers, into the native tests.
set(KORRIN_CORE_SOURCES
  frame/ErrorReport.cpp frame/ObjectManager.cpp frame/instruction_length.cpp
  screen/Pacing.cpp
  image/ImageDecoders.cpp image/JpegDecoder.c image/PngDecoder.c image/TiffDecoder.c
  sprites/ClipWindow.cpp sprites/ColourKey.cpp
  render/Collision.cpp render/ColourKeyShaderCode.cpp render/SpriteQuad.cpp
  sprite3d/Sprite3DMath.cpp
  sound/SoundData.cpp sound/SoundLevels.cpp)

# The Windows side: the exported commands and what talks to the platform.
set(KORRIN_PLATFORM_SOURCES
  frame/FatalReport.cpp frame/LastError.cpp frame/entry.cpp frame/globals.cpp frame/platform.cpp
  screen/D3D9HelperFunctions.cpp screen/modes.cpp screen/present.cpp screen/screen.cpp screen/screen_commands.cpp
  image/ImageLoader.cpp
  sprites/Sprite.cpp sprites/SpriteBatch.cpp sprites/TextureManager.cpp sprites/import_commands.cpp
  sprites/sprite_commands.cpp
  render/ColourKeyShader.cpp render/DeviceState.cpp render/DrawingOutput.cpp
  render/SpriteCopy.cpp render/blended_commands.cpp render/collision_commands.cpp render/copy_commands.cpp
  render/display_commands.cpp render/effect_commands.cpp render/output_commands.cpp
  sprite3d/Sprite3D.cpp sprite3d/sprite3d_commands.cpp
  input/DIJ8.cpp input/DIK8.cpp input/DIM8.cpp input/DInput8.cpp input/input_commands.cpp
  sound/DS8.cpp sound/sound_commands.cpp
  stubs/Dummys.cpp)

# The native GoogleTest programs (tests/native/<name>_test), each on the core.
set(KORRIN_NATIVE_TESTS
  registry colour_key error_report instruction_length pacing clip_window sprite_quad sprite3d_math
  colour_key_shader collision image_decoders sound_data)
