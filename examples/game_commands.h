/*
 * The game's own declarations of the korrin commands it uses that
 * include/korrin.h does not declare yet. The build defines
 * KORRIN_GAME_DECLARE_<command> for each command the header lacks, so a
 * declaration here never meets a second one.
 */
#ifndef KORRIN_GAME_COMMANDS_H
#define KORRIN_GAME_COMMANDS_H

#include "korrin.h"

#ifdef __cplusplus
extern "C" {
#endif

#ifdef KORRIN_GAME_DECLARE_DisplayTranslucentSprite
KORRIN_API int KORRIN_CALL DisplayTranslucentSprite(int sprite, int x, int y, int intensity) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_DisplayShadowSprite
KORRIN_API int KORRIN_CALL DisplayShadowSprite(int sprite, int x, int y) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_SpritePixelCollision
KORRIN_API int KORRIN_CALL SpritePixelCollision(int sprite1, int x1, int y1, int sprite2, int x2,
                                                int y2) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_InitKeyboard
KORRIN_API int KORRIN_CALL InitKeyboard(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_ExamineKeyboard
KORRIN_API int KORRIN_CALL ExamineKeyboard(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_KeyboardPushed
KORRIN_API int KORRIN_CALL KeyboardPushed(int key) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_InitMouse
KORRIN_API int KORRIN_CALL InitMouse(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_ExamineMouse
KORRIN_API int KORRIN_CALL ExamineMouse(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_MouseDeltaX
KORRIN_API int KORRIN_CALL MouseDeltaX(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_MouseDeltaY
KORRIN_API int KORRIN_CALL MouseDeltaY(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_InitSound
KORRIN_API void* KORRIN_CALL InitSound(void) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_LoadSound
KORRIN_API int KORRIN_CALL LoadSound(int sound, const char* fileName) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_PlaySound
KORRIN_API int KORRIN_CALL PlaySound(int sound) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_PlaySound2
KORRIN_API int KORRIN_CALL PlaySound2(int sound, int flags) KORRIN_NOEXCEPT;
#endif
#ifdef KORRIN_GAME_DECLARE_SoundVolume
KORRIN_API int KORRIN_CALL SoundVolume(int sound, int volume) KORRIN_NOEXCEPT;
#endif

#ifdef __cplusplus
}
#endif

#endif /* KORRIN_GAME_COMMANDS_H */
