// Object registry: numbered and dynamic records, lookups of bad numbers and
// handles, visiting order, and failed growth leaving the registry usable.
#include "frame/ObjectManager.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace korrin;

namespace {

ObjectNumber Handle(void* record) { return reinterpret_cast<ObjectNumber>(record); }

void MarkInUse(void* record, std::uint32_t value = 1) { std::memcpy(record, &value, sizeof value); }

struct RegistryTest : ::testing::Test {
    ObjectRegistry* registry = nullptr;
    void SetUp() override { registry = CreateRegistry(84, 128, nullptr); ASSERT_NE(registry, nullptr); }
    void TearDown() override { DestroyRegistry(registry); }
};

std::vector<std::uintptr_t> visited;
void RecordVisit(ObjectRegistry*, void* record) { visited.push_back(reinterpret_cast<std::uintptr_t>(record)); }

int freeCalls = 0;
void CountFree(ObjectRegistry*, void*) { ++freeCalls; }

}  // namespace

TEST(RegistryCreate, RejectsRecordSizeBelowOneAndRaisesGrowthToOne) {
    EXPECT_EQ(CreateRegistry(0, 128, nullptr), nullptr);
    EXPECT_EQ(CreateRegistry(-5, 128, nullptr), nullptr);
    ObjectRegistry* r = CreateRegistry(1, 0, nullptr);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->growth, 1);
    EXPECT_EQ(r->capacity, 1);
    EXPECT_EQ(r->blockCount, 1);
    // A one-byte record still works: its only byte marks it in use.
    void* record = AllocateObject(r, 0);
    ASSERT_NE(record, nullptr);
    *static_cast<unsigned char*>(record) = 7;
    EXPECT_EQ(GetObject(r, 0), record);
    EXPECT_EQ(DestroyRegistry(r), 1);
}

TEST(RegistryMissing, EveryOperationFailsQuietly) {
    EXPECT_EQ(GetObject(nullptr, 0), nullptr);
    EXPECT_EQ(AllocateObject(nullptr, -1), nullptr);
    EXPECT_EQ(FreeObject(nullptr, 0), 0);
    EXPECT_EQ(ForEachObject(nullptr, RecordVisit), 0);
    EXPECT_EQ(DestroyRegistry(nullptr), 0);
}

TEST_F(RegistryTest, MinusOneAndOtherNegativesAreNeverObjects) {
    void* dynamic = AllocateObject(registry, -1);
    MarkInUse(dynamic);
    EXPECT_EQ(GetObject(registry, -1), nullptr);
    for (ObjectNumber n : {ObjectNumber{-2}, ObjectNumber{-128}, ObjectNumber{INTPTR_MIN}}) {
        EXPECT_EQ(GetObject(registry, n), nullptr);
        EXPECT_EQ(AllocateObject(registry, n), nullptr);
        EXPECT_EQ(FreeObject(registry, n), 0);
    }
    EXPECT_EQ(ForEachObject(registry, nullptr), 0);
}

TEST_F(RegistryTest, NumberedArrayGrowsByRequestPlusGrowth) {
    void* five = AllocateObject(registry, 5);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(registry->capacity, 128);
    MarkInUse(five, 55);
    void* big = AllocateObject(registry, 200);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(registry->capacity, 328);
    MarkInUse(big, 200);
    // The old record moved with the array but kept its contents; new memory is zero.
    auto* five_now = static_cast<std::uint32_t*>(GetObject(registry, 5));
    ASSERT_NE(five_now, nullptr);
    EXPECT_EQ(*five_now, 55u);
    for (ObjectNumber n = 128; n < 328; ++n)
        if (n != 200) {
            EXPECT_EQ(GetObject(registry, n), nullptr) << n;
        }
    EXPECT_EQ(GetObject(registry, 328), nullptr);
}

TEST_F(RegistryTest, FreeRecordsAreNotFoundAndFreeingTwiceFails) {
    EXPECT_EQ(GetObject(registry, 3), nullptr);
    void* r = AllocateObject(registry, 3);
    EXPECT_EQ(GetObject(registry, 3), nullptr);  // not yet marked in use
    MarkInUse(r);
    EXPECT_EQ(GetObject(registry, 3), r);
    EXPECT_EQ(FreeObject(registry, 3), 1);
    EXPECT_EQ(GetObject(registry, 3), nullptr);
    EXPECT_EQ(FreeObject(registry, 3), 0);
    // The whole record is zeroed, not just its first field.
    const auto* bytes = static_cast<const unsigned char*>(r);
    for (int i = 0; i < 84; ++i) EXPECT_EQ(bytes[i], 0) << i;
}

TEST(RegistryCallback, ReallocatingAnInUseNumberFreesTheOldObjectFirst) {
    freeCalls = 0;
    ObjectRegistry* r = CreateRegistry(84, 128, CountFree);
    void* first = AllocateObject(r, 9);
    std::memset(first, 0xAB, 84);
    void* again = AllocateObject(r, 9);
    EXPECT_EQ(again, first);
    EXPECT_EQ(freeCalls, 1);
    const auto* bytes = static_cast<const unsigned char*>(again);
    for (int i = 0; i < 84; ++i) ASSERT_EQ(bytes[i], 0) << i;
    // Destroying calls the callback once per record still in use.
    MarkInUse(again);
    MarkInUse(AllocateObject(r, -1));
    freeCalls = 0;
    EXPECT_EQ(DestroyRegistry(r), 1);
    EXPECT_EQ(freeCalls, 2);
}

TEST_F(RegistryTest, DynamicAllocationFillsABlockThenOpensAnother) {
    void* previous = nullptr;
    std::vector<void*> records;
    for (int i = 0; i < 128; ++i) {
        void* r = AllocateObject(registry, -1);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(AllocateObject(registry, -1), r) << "not marked yet: same record again";
        MarkInUse(r);
        if (previous) {
            EXPECT_EQ(static_cast<unsigned char*>(r) - static_cast<unsigned char*>(previous), 84);
        }
        previous = r;
        records.push_back(r);
    }
    EXPECT_EQ(registry->blockCount, 1);
    void* overflow = AllocateObject(registry, -1);
    ASSERT_NE(overflow, nullptr);
    EXPECT_EQ(registry->blockCount, 2);
    EXPECT_EQ(overflow, registry->blocks[1]);
    MarkInUse(overflow);
    // Freeing any dynamic object makes its record the next one handed out.
    EXPECT_EQ(FreeObject(registry, Handle(records[77])), 1);
    EXPECT_EQ(AllocateObject(registry, -1), records[77]);
    // Earlier records did not move when the second block opened.
    EXPECT_EQ(GetObject(registry, Handle(records[0])), records[0]);
}

TEST_F(RegistryTest, HandlesMustPointAtARecordBoundary) {
    void* r = AllocateObject(registry, -1);
    MarkInUse(r);
    const ObjectNumber h = Handle(r);
    EXPECT_EQ(GetObject(registry, h), r);
    EXPECT_EQ(GetObject(registry, h + 1), nullptr);
    EXPECT_EQ(GetObject(registry, h + 83), nullptr);
    EXPECT_EQ(FreeObject(registry, h + 4), 0);
    EXPECT_EQ(GetObject(registry, h + 84), nullptr);  // boundary, but free
    EXPECT_EQ(GetObject(registry, h), r);
}

TEST_F(RegistryTest, VisitsDynamicObjectsFirstThenNumbersAscending) {
    void* n7 = AllocateObject(registry, 7); MarkInUse(n7);
    void* n2 = AllocateObject(registry, 2); MarkInUse(n2);
    void* n300 = AllocateObject(registry, 300); MarkInUse(n300);
    n7 = GetObject(registry, 7);
    n2 = GetObject(registry, 2);
    void* d1 = AllocateObject(registry, -1); MarkInUse(d1);
    void* d2 = AllocateObject(registry, -1); MarkInUse(d2);
    visited.clear();
    EXPECT_EQ(ForEachObject(registry, RecordVisit), 1);
    const std::vector<std::uintptr_t> expected = {
        reinterpret_cast<std::uintptr_t>(d1), reinterpret_cast<std::uintptr_t>(d2),
        reinterpret_cast<std::uintptr_t>(n2), reinterpret_cast<std::uintptr_t>(n7),
        reinterpret_cast<std::uintptr_t>(n300)};
    EXPECT_EQ(visited, expected);
}

namespace {
void FreeVisited(ObjectRegistry* r, void* record) {
    visited.push_back(reinterpret_cast<std::uintptr_t>(record));
    std::memset(record, 0, static_cast<std::size_t>(r->recordSize));
}
}  // namespace

TEST_F(RegistryTest, ProcedureMayFreeTheRecordItIsHanded) {
    for (ObjectNumber n : {1, 4, 6}) MarkInUse(AllocateObject(registry, n));
    MarkInUse(AllocateObject(registry, -1));
    visited.clear();
    EXPECT_EQ(ForEachObject(registry, FreeVisited), 1);
    EXPECT_EQ(visited.size(), 4u);
    visited.clear();
    ForEachObject(registry, RecordVisit);
    EXPECT_TRUE(visited.empty());
}

// Absurd numbers must fail cleanly instead of wrapping the size computation.
TEST_F(RegistryTest, AbsurdNumbersFailAndLeaveTheArrayAlone) {
    void* r = AllocateObject(registry, 10);
    MarkInUse(r, 10);
    unsigned char* before = registry->numbered;
    EXPECT_EQ(AllocateObject(registry, INT32_MAX), nullptr);
    EXPECT_EQ(AllocateObject(registry, INT32_MAX - 100), nullptr);
    if (sizeof(ObjectNumber) > 4) {
        EXPECT_EQ(AllocateObject(registry, INTPTR_MAX), nullptr);
    }
    EXPECT_EQ(registry->capacity, 128);
    EXPECT_EQ(registry->numbered, before);
    EXPECT_EQ(GetObject(registry, 10), r);
}

// ---- failed growth -------------------------------------------------------

namespace {
int allowedAllocations = 0;  // allocations (zeroAlloc or resize) that still succeed
void* LimitedZeroAlloc(std::size_t bytes) { return allowedAllocations-- > 0 ? std::calloc(1, bytes) : nullptr; }
void* LimitedResize(void* block, std::size_t bytes) { return allowedAllocations-- > 0 ? std::realloc(block, bytes) : nullptr; }
void Release(void* block) { std::free(block); }
const RegistryAllocator limited = {LimitedZeroAlloc, LimitedResize, Release};

struct FailingAllocation : ::testing::Test {
    void SetUp() override { allowedAllocations = 1000000; SetRegistryAllocator(&limited); }
    void TearDown() override { SetRegistryAllocator(nullptr); }
};
}  // namespace

TEST_F(FailingAllocation, CreateFailsAtEveryStepWithoutLeaking) {
    for (int allowed = 0; allowed < 4; ++allowed) {
        allowedAllocations = allowed;
        EXPECT_EQ(CreateRegistry(84, 128, nullptr), nullptr) << allowed;
    }
    allowedAllocations = 4;
    ObjectRegistry* r = CreateRegistry(84, 128, nullptr);
    EXPECT_NE(r, nullptr);
    DestroyRegistry(r);
}

TEST_F(FailingAllocation, FailedNumberedGrowthKeepsTheOldArray) {
    ObjectRegistry* r = CreateRegistry(84, 128, nullptr);
    MarkInUse(AllocateObject(r, 12), 12);
    allowedAllocations = 0;
    EXPECT_EQ(AllocateObject(r, 500), nullptr);
    EXPECT_EQ(r->capacity, 128);
    ASSERT_NE(GetObject(r, 12), nullptr);
    EXPECT_EQ(*static_cast<std::uint32_t*>(GetObject(r, 12)), 12u);
    allowedAllocations = 1;
    EXPECT_NE(AllocateObject(r, 500), nullptr);
    EXPECT_EQ(r->capacity, 628);
    DestroyRegistry(r);
}

TEST_F(FailingAllocation, FailedBlockGrowthKeepsTheOldBlocks) {
    ObjectRegistry* r = CreateRegistry(16, 2, nullptr);
    void* a = AllocateObject(r, -1); MarkInUse(a);
    void* b = AllocateObject(r, -1); MarkInUse(b);
    for (int allowed = 0; allowed < 2; ++allowed) {  // block, then list
        allowedAllocations = allowed;
        EXPECT_EQ(AllocateObject(r, -1), nullptr);
        EXPECT_EQ(r->blockCount, 1);
        EXPECT_EQ(GetObject(r, Handle(a)), a);
        EXPECT_EQ(GetObject(r, Handle(b)), b);
    }
    allowedAllocations = 2;
    void* c = AllocateObject(r, -1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(r->blockCount, 2);
    DestroyRegistry(r);
}

TEST_F(RegistryTest, TellsDynamicHandlesFromNumbers) {
    void* r = AllocateObject(registry, -1);
    EXPECT_TRUE(IsDynamicHandle(registry, Handle(r)));
    EXPECT_TRUE(IsDynamicHandle(registry, Handle(r) + 3)) << "inside a block, even off a boundary";
    EXPECT_FALSE(IsDynamicHandle(registry, 5));
    EXPECT_FALSE(IsDynamicHandle(registry, -1));
    EXPECT_FALSE(IsDynamicHandle(nullptr, Handle(r)));
}
