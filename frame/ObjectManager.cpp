// Object registry: numbered records in one growable array, dynamic records in
// blocks that never move (their address is the object's handle).
#include "frame/ObjectManager.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace korrin {

namespace {

void* DefaultZeroAlloc(std::size_t bytes) { return std::calloc(1, bytes); }
void* DefaultResize(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
void DefaultRelease(void* block) { std::free(block); }

const RegistryAllocator defaultAllocator = {DefaultZeroAlloc, DefaultResize, DefaultRelease};
const RegistryAllocator* allocator = &defaultAllocator;  // set by SetRegistryAllocator

// Bytes for `records` records, or 0 when that does not fit the address space.
std::size_t RecordBytes(const ObjectRegistry* registry, std::int64_t records) {
    if (records <= 0) return 0;
    const std::uint64_t bytes = static_cast<std::uint64_t>(records) * static_cast<std::uint32_t>(registry->recordSize);
    if (bytes > std::numeric_limits<std::size_t>::max() / 2) return 0;
    return static_cast<std::size_t>(bytes);
}

unsigned char* RecordAt(unsigned char* base, const ObjectRegistry* registry, std::int64_t index) {
    return base + static_cast<std::size_t>(index) * static_cast<std::size_t>(registry->recordSize);
}

// The block that contains `number` when it is read as an address, or -1.
int BlockContaining(const ObjectRegistry* registry, ObjectNumber number) {
    const std::uintptr_t address = static_cast<std::uintptr_t>(number);
    const std::uintptr_t span = static_cast<std::uintptr_t>(registry->growth) * static_cast<std::uint32_t>(registry->recordSize);
    for (int i = 0; i < registry->blockCount; ++i) {
        const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(registry->blocks[i]);
        if (address - start < span) return i;  // unsigned: also rejects address < start
    }
    return -1;
}

// First free record of the dynamic blocks, in block order, or null.
void* FirstFreeDynamic(ObjectRegistry* registry) {
    for (int b = 0; b < registry->blockCount; ++b) {
        for (std::int32_t r = 0; r < registry->growth; ++r) {
            unsigned char* record = RecordAt(registry->blocks[b], registry, r);
            if (!RecordInUse(registry, record)) return record;
        }
    }
    return nullptr;
}

// Appends one zeroed dynamic block; the old block list stays in use on failure.
void* AppendBlock(ObjectRegistry* registry) {
    if (registry->blockCount == std::numeric_limits<std::int32_t>::max()) return nullptr;
    const std::size_t blockBytes = RecordBytes(registry, registry->growth);
    const std::size_t listBytes = sizeof(unsigned char*) * (static_cast<std::size_t>(registry->blockCount) + 1);
    unsigned char* block = static_cast<unsigned char*>(allocator->zeroAlloc(blockBytes));
    if (!block) return nullptr;
    auto** list = static_cast<unsigned char**>(allocator->resize(registry->blocks, listBytes));
    if (!list) {
        allocator->release(block);
        return nullptr;
    }
    list[registry->blockCount] = block;
    registry->blocks = list;
    registry->blockCount += 1;
    return block;
}

// Grows the numbered array so that record `number` exists; unchanged on failure.
void* GrowNumbered(ObjectRegistry* registry, ObjectNumber number) {
    if (number > std::numeric_limits<std::int32_t>::max() - registry->growth) return nullptr;
    const std::int64_t newCapacity = static_cast<std::int64_t>(number) + registry->growth;
    const std::size_t newBytes = RecordBytes(registry, newCapacity);
    if (newBytes == 0) return nullptr;
    auto* array = static_cast<unsigned char*>(allocator->resize(registry->numbered, newBytes));
    if (!array) return nullptr;
    const std::size_t oldBytes = RecordBytes(registry, registry->capacity);
    std::memset(array + oldBytes, 0, newBytes - oldBytes);
    registry->numbered = array;
    registry->capacity = static_cast<std::int32_t>(newCapacity);
    return RecordAt(array, registry, number);
}

void ReleaseAll(ObjectRegistry* registry) {
    if (registry->blocks) {
        for (int i = 0; i < registry->blockCount; ++i) allocator->release(registry->blocks[i]);
        allocator->release(registry->blocks);
    }
    allocator->release(registry->numbered);
    allocator->release(registry);
}

}  // namespace

void SetRegistryAllocator(const RegistryAllocator* replacement) {
    allocator = replacement ? replacement : &defaultAllocator;
}

bool RecordInUse(const ObjectRegistry* registry, const void* record) {
    const std::size_t bytes = registry->recordSize < 4 ? static_cast<std::size_t>(registry->recordSize) : 4;
    const auto* p = static_cast<const unsigned char*>(record);
    for (std::size_t i = 0; i < bytes; ++i)
        if (p[i] != 0) return true;
    return false;
}

bool IsDynamicHandle(const ObjectRegistry* registry, ObjectNumber number) {
    return registry && number != -1 && BlockContaining(registry, number) >= 0;
}

ObjectRegistry* CreateRegistry(std::int32_t recordSize, std::int32_t growth, RegistryProc freeCallback) {
    if (recordSize < 1) return nullptr;
    if (growth < 1) growth = 1;
    auto* registry = static_cast<ObjectRegistry*>(allocator->zeroAlloc(sizeof(ObjectRegistry)));
    if (!registry) return nullptr;
    registry->recordSize = recordSize;
    registry->growth = growth;
    registry->freeCallback = freeCallback;
    registry->capacity = growth;
    const std::size_t arrayBytes = RecordBytes(registry, growth);
    registry->numbered = arrayBytes ? static_cast<unsigned char*>(allocator->zeroAlloc(arrayBytes)) : nullptr;
    registry->blocks = static_cast<unsigned char**>(allocator->zeroAlloc(sizeof(unsigned char*)));
    unsigned char* block = arrayBytes ? static_cast<unsigned char*>(allocator->zeroAlloc(arrayBytes)) : nullptr;
    if (!registry->numbered || !registry->blocks || !block) {
        allocator->release(block);
        registry->blockCount = 0;
        ReleaseAll(registry);
        return nullptr;
    }
    registry->blocks[0] = block;
    registry->blockCount = 1;
    return registry;
}

void* GetObject(ObjectRegistry* registry, ObjectNumber number) {
    if (!registry || number == -1) return nullptr;
    const int block = BlockContaining(registry, number);
    if (block >= 0) {
        const std::uintptr_t offset = static_cast<std::uintptr_t>(number) - reinterpret_cast<std::uintptr_t>(registry->blocks[block]);
        if (offset % static_cast<std::uint32_t>(registry->recordSize) != 0) return nullptr;
        void* record = reinterpret_cast<void*>(number);
        return RecordInUse(registry, record) ? record : nullptr;
    }
    if (number < 0 || number > registry->capacity - 1) return nullptr;
    unsigned char* record = RecordAt(registry->numbered, registry, number);
    return RecordInUse(registry, record) ? record : nullptr;
}

void* AllocateObject(ObjectRegistry* registry, ObjectNumber number) {
    if (!registry) return nullptr;
    if (number == -1) {
        if (void* record = FirstFreeDynamic(registry)) return record;
        return AppendBlock(registry);
    }
    if (number < 0) return nullptr;
    if (number > registry->capacity - 1) return GrowNumbered(registry, number);
    FreeObject(registry, number);
    return RecordAt(registry->numbered, registry, number);
}

int FreeObject(ObjectRegistry* registry, ObjectNumber number) {
    void* record = GetObject(registry, number);
    if (!record) return 0;
    if (registry->freeCallback) registry->freeCallback(registry, record);
    std::memset(record, 0, static_cast<std::size_t>(registry->recordSize));
    return 1;
}

int ForEachObject(ObjectRegistry* registry, RegistryProc procedure) {
    if (!registry || !procedure) return 0;
    // Dynamic blocks first; the procedure may free (but not allocate), so the
    // block list and the numbered array stay where they are during the walk.
    for (int b = 0; b < registry->blockCount; ++b) {
        for (std::int32_t r = 0; r < registry->growth; ++r) {
            unsigned char* record = RecordAt(registry->blocks[b], registry, r);
            if (RecordInUse(registry, record)) procedure(registry, record);
        }
    }
    for (std::int32_t n = 0; n < registry->capacity; ++n) {
        unsigned char* record = RecordAt(registry->numbered, registry, n);
        if (RecordInUse(registry, record)) procedure(registry, record);
    }
    return 1;
}

int DestroyRegistry(ObjectRegistry* registry) {
    if (!registry) return 0;
    if (registry->freeCallback) ForEachObject(registry, registry->freeCallback);
    ReleaseAll(registry);
    return 1;
}

}  // namespace korrin
