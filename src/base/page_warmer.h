// Faulting in fresh memory ahead of the thread that fills it. The first write to a page of a new
// mapping costs a fault, and on a virtual machine whose host has taken the free memory back it
// costs far more than the write (about 1.5 ms per megabyte here): a decoder that fills 80 MB of
// coefficients sequentially spends more time in those faults than in decoding. A background
// thread populates the pages of a range (madvise MADV_POPULATE_WRITE, which never changes
// their contents) while the owner goes on; the owner's own writes then find them present.
//
// Populating never changes data, so it is safe while the owner writes the same range. Before
// the range is unmapped the owner calls Forget, which drops its pending part and waits for the
// step in progress. Where the system cannot populate, nothing happens.
#pragma once

#include <cstddef>

namespace vt {

// Queues [data, data + bytes) for population on the background thread.
void WarmPagesAhead(void* data, size_t bytes);

// Drops whatever of [data, data + bytes) is still queued; returns once no step touches it.
void ForgetWarmPages(void* data, size_t bytes);

}  // namespace vt
