// Object registry: maps host-chosen object numbers and dynamic handles to
// fixed-size records. One registry exists per object kind (sprites, 3D sprites,
// sounds). The registry never looks into a record except for its first 32-bit
// field: zero means free, anything else means in use.
//
// Portable code: no platform headers. Numbers are pointer-sized signed values,
// which on the 32-bit target are exactly the host's 32-bit integers.
#pragma once

#include <cstddef>
#include <cstdint>

// <windows.h> maps GetObject to the GDI call GetObjectA; the registry's own
// GetObject takes the name over in every file that includes this header after
// the platform headers (GDI's is then spelt GetObjectA).
#ifdef GetObject
#undef GetObject
#endif

namespace korrin {

using ObjectNumber = std::intptr_t;

struct ObjectRegistry;
using RegistryProc = void (*)(ObjectRegistry* registry, void* record);

struct ObjectRegistry {
    std::int32_t recordSize;     // bytes per record, at least 1
    std::int32_t growth;         // records per dynamic block; headroom when the numbered array grows
    RegistryProc freeCallback;   // called for every record that is freed, or null
    std::int32_t capacity;       // records in the numbered array
    unsigned char* numbered;     // record n at byte offset n * recordSize
    std::int32_t blockCount;     // dynamic blocks, at least 1
    unsigned char** blocks;      // each block holds `growth` records and never moves
};

// Memory used by every registry. Defaults to the C heap; tests swap in failing
// allocators to check that failed growth leaves a registry consistent.
struct RegistryAllocator {
    void* (*zeroAlloc)(std::size_t bytes);                 // zero-filled block or null
    void* (*resize)(void* block, std::size_t bytes);       // like realloc; null keeps the old block
    void (*release)(void* block);
};
void SetRegistryAllocator(const RegistryAllocator* allocator);  // null restores the default

ObjectRegistry* CreateRegistry(std::int32_t recordSize, std::int32_t growth, RegistryProc freeCallback);
void* GetObject(ObjectRegistry* registry, ObjectNumber number);
void* AllocateObject(ObjectRegistry* registry, ObjectNumber number);
int FreeObject(ObjectRegistry* registry, ObjectNumber number);
int ForEachObject(ObjectRegistry* registry, RegistryProc procedure);
int DestroyRegistry(ObjectRegistry* registry);

// True when `number` lies inside one of the registry's dynamic blocks, i.e.
// reads as a dynamic handle (of a live record or not).
bool IsDynamicHandle(const ObjectRegistry* registry, ObjectNumber number);

// True when the record's first 32-bit field (or the whole record, when it is
// smaller than that) is non-zero.
bool RecordInUse(const ObjectRegistry* registry, const void* record);

}  // namespace korrin
