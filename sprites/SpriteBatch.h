// The sprite batch: consecutive display commands that draw with the same
// texture and the same device state hand their quads to one draw call.
//
// Why the batch flushes where it does. A queued quad is a draw the device has
// not seen yet, so it must reach the device before anything that could see or
// change what it draws: its pixels, its texture, its render target, or the
// device state it was queued under. Rather than flushing on entry to every
// command that is not a batchable draw (most commands touch no device at all,
// and input or sound calls between draws would end every batch), the batch
// flushes at the library's few device-access choke points:
//   - every render, stage or sampler state and shader change, as the change is
//     made (the render-state cache's setters, the colour-key shader binding);
//   - the scene's end (EndSceneIfOpen), Clear, FlipBuffers, a new render
//     target (UseBuffer and the return to the back buffer), screen closing;
//   - every texture-object operation that touches a surface or the texture
//     (locks, DCs, render targets, updates, release, Optimize), and every
//     procedure of a drawing output;
//   - a host asking for the device or a raw Direct3D object: __GetD3DDevice9,
//     and GetDrawTexture and GetRenderTarget through the operation table.
// A display command's quad therefore reaches the device before any later
// device access, in the order the commands came: nothing but the number of
// draw calls changes. Since a host that holds the device (or a texture or
// surface of it) may draw with it between any two commands, from that moment
// on each display command draws at once, exactly as it would unbatched; the
// device a host asked for goes with the screen, and so does that mode.
//
// Each quad is four vertices in strip order (top-left, top-right,
// bottom-left, bottom-right). A batch of one is drawn as that strip; longer
// batches as a triangle list holding the very triangles of each strip, with
// the same vertex order, so the picture is the same pixel for pixel.
#pragma once

#include <windows.h>
#include <d3d9.h>

namespace korrin {

// The display paths that batch; each stands for the device state its command
// sets before drawing (blend factors, vertex format, stage operations).
enum class BatchMode : int {
    kNone,         // no open batch
    kPlain,        // DisplaySprite
    kTransparent,  // DisplayTransparentSprite
    kTranslucent,  // the blended modes
    kAlpha,
    kSolid,
    kShadow,
    kSprite3D,     // DisplaySprite3D2: the states Start3D and the others left
};

// True when a quad of `mode` drawn with `texture` joins the open batch: the
// device already holds everything the command would set. When false the
// command flushes (FlushSpriteBatch), sets its states and texture, and queues.
bool JoinsBatch(BatchMode mode, IDirect3DTexture9* texture);

// What runs once the quads of a batch are drawn (the blended modes put stage
// 0 back); null for nothing.
using AfterDraw = void (*)();

// Queues one quad of four `stride`-byte vertices, or draws it at once while a
// host holds the device; the command's result: D3D_OK for a queued quad, the
// draw call's result for one drawn at once. `after` runs after the draw that
// carries the quad, either way.
HRESULT QueueQuad(BatchMode mode, IDirect3DTexture9* texture, const void* vertices, UINT stride,
                  AfterDraw after = nullptr);

// Draws what is queued. Cheap when nothing is.
void FlushSpriteBatch();

// The host asked for the device or a raw Direct3D object: the batch is drawn,
// and each display command draws at once until the screen closes.
void NoteHostDeviceAccess();

// A new or released device: nothing queued survives, and the host holds no
// pointer to the new device yet.
void ForgetSpriteBatch();

}  // namespace korrin
