// The plug-in instance registry: how many live instances each factory has.
// The factory objects of a bundle call it from any thread as instances are
// made and freed.
#include "platform/CFUUIDObject.h"

#include <array>
#include <cstring>
#include <map>
#include <mutex>

namespace {

typedef std::array<UInt8, 16> FactoryKey;

struct InstanceTable {
    std::mutex mutex;
    std::map<FactoryKey, CFIndex> counts;
};

InstanceTable& Instances()
{
    static InstanceTable* table = new InstanceTable; // never destroyed: instances may go at exit
    return *table;
}

// Factories are counted by their bytes, so a constant UUID and a created one
// with the same bytes name the same factory.
bool KeyFor(CFUUIDRef factoryID, FactoryKey& key)
{
    const CFUUIDObject* uuid = CFObjectCast<CFUUIDObject>(factoryID);
    if (uuid == nullptr) {
        return false;
    }
    std::memcpy(key.data(), &uuid->mBytes, key.size());
    return true;
}

} // namespace

void CFPlugInAddInstanceForFactory(CFUUIDRef factoryID)
{
    FactoryKey key;
    if (!KeyFor(factoryID, key)) {
        return;
    }
    InstanceTable& table = Instances();
    std::lock_guard<std::mutex> lock(table.mutex);
    ++table.counts[key];
}

// Removing an instance the registry doesn't know of is ignored: the count
// never goes below zero.
void CFPlugInRemoveInstanceForFactory(CFUUIDRef factoryID)
{
    FactoryKey key;
    if (!KeyFor(factoryID, key)) {
        return;
    }
    InstanceTable& table = Instances();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.counts.find(key);
    if (found != table.counts.end() && --found->second == 0) {
        table.counts.erase(found);
    }
}

CFIndex CFPlugInGetInstanceCountForFactory(CFUUIDRef factoryID)
{
    FactoryKey key;
    if (!KeyFor(factoryID, key)) {
        return 0;
    }
    InstanceTable& table = Instances();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto found = table.counts.find(key);
    return found != table.counts.end() ? found->second : 0;
}
