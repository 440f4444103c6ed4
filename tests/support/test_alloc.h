// Allocation callbacks for tests: count every request and release, remember
// the sizes, and fail the n-th request on demand.
#ifndef SKW_TEST_ALLOC_H
#define SKW_TEST_ALLOC_H

#include <cstdint>
#include <cstdlib>
#include <vector>

struct TestAllocator {
    static inline std::vector<std::uint64_t> requests;
    static inline std::vector<void*> freed;
    static inline long live = 0;
    static inline int failAt = -1;  // index of the request that answers null, -1 none

    static void reset()
    {
        requests.clear();
        freed.clear();
        live = 0;
        failAt = -1;
    }
    static void* allocate(std::uint64_t size)
    {
        const int index = static_cast<int>(requests.size());
        requests.push_back(size);
        if (index == failAt)
            return nullptr;
        ++live;
        return std::malloc(size ? size : 1);
    }
    static void release(void* raw)
    {
        freed.push_back(raw);
        if (raw) {
            --live;
            std::free(raw);
        }
    }
};

#endif
