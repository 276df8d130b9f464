// Foundation UUIDs. Constant UUIDs are interned: the same bytes give the same
// object, which is never freed.
#include "platform/CFUUIDObject.h"

#include <array>
#include <cstring>
#include <map>
#include <mutex>

namespace {

typedef std::array<UInt8, 16> UUIDKey;

struct ConstantUUIDTable {
    std::mutex mutex;
    std::map<UUIDKey, CFUUIDObject*> uuids;
};

ConstantUUIDTable& ConstantUUIDs()
{
    static ConstantUUIDTable* table = new ConstantUUIDTable; // never destroyed
    return *table;
}

CFUUIDBytes MakeBytes(UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4, UInt8 b5, UInt8 b6, UInt8 b7, UInt8 b8,
                      UInt8 b9, UInt8 b10, UInt8 b11, UInt8 b12, UInt8 b13, UInt8 b14, UInt8 b15)
{
    return CFUUIDBytes{b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15};
}

} // namespace

CFUUIDRef CFUUIDGetConstantUUIDWithBytes(CFAllocatorRef, UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4, UInt8 b5,
                                         UInt8 b6, UInt8 b7, UInt8 b8, UInt8 b9, UInt8 b10, UInt8 b11, UInt8 b12,
                                         UInt8 b13, UInt8 b14, UInt8 b15)
{
    const CFUUIDBytes bytes = MakeBytes(b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15);
    UUIDKey key;
    std::memcpy(key.data(), &bytes, key.size());
    ConstantUUIDTable& table = ConstantUUIDs();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.uuids.find(key);
    if (found != table.uuids.end()) {
        return found->second;
    }
    auto uuid = new CFUUIDObject(bytes, true);
    table.uuids.emplace(key, uuid);
    return uuid;
}

CFUUIDRef CFUUIDCreateWithBytes(CFAllocatorRef, UInt8 b0, UInt8 b1, UInt8 b2, UInt8 b3, UInt8 b4, UInt8 b5, UInt8 b6,
                                UInt8 b7, UInt8 b8, UInt8 b9, UInt8 b10, UInt8 b11, UInt8 b12, UInt8 b13, UInt8 b14,
                                UInt8 b15)
{
    return new CFUUIDObject(MakeBytes(b0, b1, b2, b3, b4, b5, b6, b7, b8, b9, b10, b11, b12, b13, b14, b15));
}

CFUUIDRef CFUUIDCreateFromUUIDBytes(CFAllocatorRef, CFUUIDBytes bytes) { return new CFUUIDObject(bytes); }

// A null or non-UUID reference gives sixteen zero bytes.
CFUUIDBytes CFUUIDGetUUIDBytes(CFUUIDRef uuid)
{
    const CFUUIDObject* object = CFObjectCast<CFUUIDObject>(uuid);
    return object != nullptr ? object->mBytes : CFUUIDBytes{};
}
