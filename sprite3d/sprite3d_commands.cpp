// 3D sprite commands: the registry, creation, shaping, release, and drawing
// between Start3D and Stop3D.
#include "frame/ErrorPosition.h"
#include "frame/LastError.h"
#include "frame/globals.h"
#include "korrin.h"
#include "sprite3d/Sprite3D.h"

using korrin::Fail;
using korrin::FindSprite3D;
using korrin::Sprite3D;

namespace {

// The 3D sprite under `number`, or null with the reason recorded for `command`.
Sprite3D* Sprite3DFor(const char* command, int number) {
    Sprite3D* sprite = FindSprite3D(number);
    if (!sprite) Fail("%s: no 3D sprite %d", command, number);
    return sprite;
}

}  // namespace

extern "C" {

int __stdcall InitSprite3D() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::MakeSprite3DRegistry() ? 1 : Fail("InitSprite3D: out of memory for the registry");
}

int __stdcall IsSprite3D(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return static_cast<int>(reinterpret_cast<korrin::ObjectNumber>(FindSprite3D(number)));
}

int __stdcall CreateSprite3D(int number, int sprite) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    const int made = static_cast<int>(korrin::MakeSprite3D(number, sprite));
    return made ? made : korrin::FailIn("CreateSprite3D");
}

int __stdcall FreeSprite3D(int number) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::ReleaseSprite3D(number) ? 1 : Fail("FreeSprite3D: no 3D sprite %d", number);
}

int __stdcall ZoomSprite3D(int number, int width, int height) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sprite3D* sprite = Sprite3DFor("ZoomSprite3D", number);
    if (sprite == nullptr) return 0;
    korrin::SetSprite3DZoom(sprite, width, height);
    return 1;
}

int __stdcall RotateSprite3D(int number, int angle, int mode) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sprite3D* sprite = Sprite3DFor("RotateSprite3D", number);
    if (sprite == nullptr) return 0;
    korrin::SetSprite3DRotation(sprite, angle, mode);
    return 1;
}

// A depth of 0 (or one that is not finite) is refused with 0, the record unchanged.
int __stdcall TransformSprite3D2(int number, float x1, float y1, float z1, float x2, float y2, float z2, float x3,
                                 float y3, float z3, float x4, float y4, float z4) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    Sprite3D* sprite = Sprite3DFor("TransformSprite3D2", number);
    if (sprite == nullptr) return 0;
    const float corners[12] = {x1, y1, z1, x2, y2, z2, x3, y3, z3, x4, y4, z4};
    return korrin::SetSprite3DCorners(sprite, corners) ? 1 : Fail("TransformSprite3D2: a depth of 0 or not finite");
}

int __stdcall TransformSprite3D(int number, float x1, float y1, float x2, float y2, float x3, float y3, float x4,
                                float y4) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return TransformSprite3D2(number, x1, y1, 1.0f, x2, y2, 1.0f, x3, y3, 1.0f, x4, y4, 1.0f);
}

int __stdcall Start3D() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::BeginSprite3DStates() ? 1 : korrin::FailIn("Start3D");
}

int __stdcall Stop3D() noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::EndSprite3DStates() ? 1 : Fail("Stop3D: no usable screen");
}

int __stdcall DisplaySprite3D2(int number, int x, int y, int alpha) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::DrawSprite3D(number, x, y, alpha);
}

int __stdcall DisplaySprite3D(int number, int x, int y) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::DrawSprite3D(number, x, y, 255);
}

int __stdcall Sprite3DBlendingMode(int source, int dest) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::SetSprite3DBlending(source, dest) ? 1 : korrin::FailIn("Sprite3DBlendingMode");
}

int __stdcall Sprite3DQuality(int quality) noexcept {
    RECORD_POSITION(MODULE_MAIN);
    return korrin::SetSprite3DQuality(quality) ? 1 : Fail("Sprite3DQuality: no usable screen");
}

}  // extern "C"
