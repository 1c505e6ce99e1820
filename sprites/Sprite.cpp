// Sprite records.
#include "sprites/Sprite.h"

#include "frame/ErrorPosition.h"
#include "frame/globals.h"

namespace korrin {

DWORD defaultTransparentColor;

Sprite* FindSprite(ObjectNumber number) { return static_cast<Sprite*>(GetObject(spriteRegistry, number)); }
Sprite* CreateSpriteRecord(ObjectNumber, int, int, int) { return nullptr; }
int FillSpriteBox(ObjectNumber, int, int, int, int, DWORD) { return 0; }
int ReleaseSprite(ObjectNumber) { return 0; }
void ReleaseSpriteRecord(ObjectRegistry*, void*) {}
void ReleaseSpritesVideoMemory() {}
void RestoreSpritesVideoMemory() {}

}  // namespace korrin
