// A sprite's texture object as a host program sees it: its first field points
// to the table of 16 stdcall operations, which hosts call by position.
#pragma once

#include <windows.h>
#include <d3d9.h>

struct TextureOps {
    int(__stdcall* GetKind)(void*);
    int(__stdcall* GetWidth)(void*);
    int(__stdcall* GetHeight)(void*);
    int(__stdcall* GetBitsPerPixel)(void*);
    void*(__stdcall* Create)(void*, int, int, int, int);
    IDirect3DTexture9*(__stdcall* GetDrawTexture)(void*);
    int(__stdcall* SetTransparentColor)(void*, DWORD);
    int(__stdcall* LockPixels)(void*, int, int, void**, int*);
    int(__stdcall* UnlockPixels)(void*, int);
    HDC(__stdcall* OpenDC)(void*);
    int(__stdcall* CloseDC)(void*, int);
    void*(__stdcall* GetRenderTarget)(void*);
    int(__stdcall* ReleaseVideoMemory)(void*);
    int(__stdcall* RestoreVideoMemory)(void*);
    int(__stdcall* Free)(void*);
    void*(__stdcall* Optimize)(void*, int);
};

inline const TextureOps& Ops(void* texture) { return **static_cast<TextureOps**>(texture); }
