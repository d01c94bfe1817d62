// The process-wide cache behind sharedConverterFilters: a fixed number of
// slots, each remembering one design and its filters by a weak reference,
// so filters live exactly as long as some converter holds them and the
// cache itself allocates nothing.

#include <new>

#include "resample/converter_filters.h"
#include "resample/filter_cache_lock.h"

namespace {

// Distinct designs whose filters can be shared at the same time; a further
// one still gets its filters, unshared. Filters live only while converters
// hold them, so this bounds sharing, not memory: a slot is a design and a
// weak reference, about 100 bytes. A host converts at a handful of rate
// pairs at once; the fuzz target keeps every pair it meets alive (some 150).
constexpr int kSlots = 256;

struct Slot {
  ConverterDesign design;
  std::weak_ptr<const ConverterFilters> filters;
};

// Guarded by the cache lock. Constant-initialised (no lock of the C++
// runtime is made for it) and never destroyed: threads may still set up
// converters while the process exits. A library being unloaded empties it
// (releaseSharedConverterFilters).
union SlotTable {
  constexpr SlotTable() : slots() {}
  ~SlotTable() {}
  Slot slots[kSlots];
};
SlotTable table;

std::shared_ptr<const ConverterFilters> findLive(const ConverterDesign& design) {
  Slot* slots = table.slots;
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = slots[i];
    if (!(slot.design == design)) continue;
    std::shared_ptr<const ConverterFilters> live = slot.filters.lock();
    if (live) return live;
  }
  return nullptr;
}

void remember(const ConverterDesign& design, const std::shared_ptr<const ConverterFilters>& filters) {
  Slot* slots = table.slots;
  for (int i = 0; i < kSlots; ++i) {
    Slot& slot = slots[i];
    if (!slot.filters.expired()) continue;
    slot.design = design;
    slot.filters = filters;
    return;
  }
}

}  // namespace

std::shared_ptr<const ConverterFilters> sharedConverterFilters(const ConverterDesign& design) {
  // The filters are designed under the lock, so a batch of converters of
  // one rate pair set up at once designs them once; the others wait.
  FilterCacheHold hold;
  std::shared_ptr<const ConverterFilters> filters = findLive(design);
  if (filters) return filters;
  std::unique_ptr<ConverterFilters> made = makeConverterFilters(design);
  if (!made) return nullptr;
  try {
    filters.reset(made.release());  // frees the filters if the count cannot be allocated
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  remember(design, filters);
  return filters;
}

void releaseSharedConverterFilters() {
  // Without the lock: no thread can be setting up a converter any more (and
  // a library's entry, under the loader lock, must not wait for one).
  for (Slot& slot : table.slots) slot = Slot();
  releaseFilterCacheLock();
}
