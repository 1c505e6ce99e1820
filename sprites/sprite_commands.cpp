// Sprite commands.
#include "frame/ErrorPosition.h"
#include "frame/globals.h"
#include "korrin.h"
#include "sprites/Sprite.h"

extern "C" {

int __stdcall CreateSprite2(int, int, int, int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall CreateSprite(int, int, int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall FreeSprite(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall IsSprite(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall SpriteWidth(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall SpriteHeight(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall SpriteDepth(int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
void* __stdcall SpriteID(int) noexcept { RECORD_POSITION(MODULE_MAIN); return nullptr; }
int __stdcall TransparentSpriteColor(int, int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }
int __stdcall ClipSprite(int, int, int, int, int) noexcept { RECORD_POSITION(MODULE_MAIN); return 0; }

}  // extern "C"
