// The sprite batch: the queued quads of the display commands, drawn as one
// triangle list when something needs the device (see SpriteBatch.h).
#include "sprites/SpriteBatch.h"

#include <cstring>

#include "frame/globals.h"

namespace korrin {

namespace {

// Quads per draw call: a full batch is drawn and the next one begins.
constexpr int kBatchQuads = 2048;
// The widest vertex of a batchable path (the coloured and the 3D vertex).
constexpr UINT kMaxStride = 28;
// A strip's two triangles in the order Direct3D draws them: the second
// triangle of a strip is wound the other way, which the list keeps.
constexpr int kListOrder[6] = {0, 1, 2, 1, 3, 2};

// The batch's state.
struct Batch {
    BatchMode mode;              // what the queued quads were drawn under, kNone when empty
    IDirect3DTexture9* texture;  // stage 0's texture for them (no reference: a texture
                                 // operation that could release it flushes first)
    UINT stride;                 // bytes per vertex
    AfterDraw after;             // run after the batch is drawn, or null
    int quads;                   // quads queued
    int hostHoldsDevice;         // the host asked for the device or a raw object of it
    BYTE strip[4 * kMaxStride];  // the first quad as its strip, for a batch of one
    BYTE list[kBatchQuads * 6 * kMaxStride];  // every quad as two listed triangles
};
Batch batch;

void Append(const BYTE* vertices, UINT stride) {
    if (batch.quads == 0) std::memcpy(batch.strip, vertices, 4 * stride);
    BYTE* to = batch.list + static_cast<size_t>(batch.quads) * 6 * stride;
    for (int k = 0; k < 6; ++k, to += stride) std::memcpy(to, vertices + kListOrder[k] * stride, stride);
    ++batch.quads;
}

}  // namespace

bool JoinsBatch(BatchMode mode, IDirect3DTexture9* texture) {
    return batch.quads > 0 && batch.mode == mode && batch.texture == texture;
}

HRESULT QueueQuad(BatchMode mode, IDirect3DTexture9* texture, const void* vertices, UINT stride, AfterDraw after) {
    if (batch.hostHoldsDevice || stride > kMaxStride) {
        FlushSpriteBatch();
        const HRESULT result = device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, vertices, stride);
        if (after) after();
        return result;
    }
    if (!JoinsBatch(mode, texture)) {
        FlushSpriteBatch();
        batch.mode = mode;
        batch.texture = texture;
        batch.stride = stride;
        batch.after = after;
    }
    Append(static_cast<const BYTE*>(vertices), stride);
    // A full batch is drawn; the next quad begins a new one, its command
    // setting its states again.
    if (batch.quads == kBatchQuads) FlushSpriteBatch();
    return D3D_OK;
}

void FlushSpriteBatch() {
    if (batch.quads == 0) return;
    const AfterDraw after = batch.after;
    const int quads = batch.quads;
    // Emptied first: the calls below may reach code that flushes.
    batch.quads = 0;
    batch.mode = BatchMode::kNone;
    batch.texture = nullptr;
    batch.after = nullptr;
    if (!device) return;
    if (quads == 1)
        device->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, batch.strip, batch.stride);
    else
        device->DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(quads) * 2, batch.list, batch.stride);
    if (after) after();
}

void NoteHostDeviceAccess() {
    FlushSpriteBatch();
    batch.hostHoldsDevice = 1;
}

void ForgetSpriteBatch() {
    batch.after = nullptr;
    batch.quads = 0;
    batch.mode = BatchMode::kNone;
    batch.texture = nullptr;
    batch.hostHoldsDevice = 0;
}

}  // namespace korrin
