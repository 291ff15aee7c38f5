#pragma once
// ScratchArray: a growable block of plain elements for the scratch memory a
// kernel keeps per thread (rows, rings, lines) and reuses from call to
// call, so that a call allocates nothing once its thread has served one as
// large. malloc'd, so that a failed allocation is a false result, not an
// exception.

#include <cstddef>
#include <cstdlib>
#include <type_traits>

template <class T>
class ScratchArray {
    static_assert(std::is_trivially_copyable<T>::value && std::is_trivially_destructible<T>::value,
                  "a scratch array holds plain elements");

public:
    ScratchArray() = default;
    ScratchArray(const ScratchArray&) = delete;
    ScratchArray& operator=(const ScratchArray&) = delete;
    ScratchArray(ScratchArray&&) = delete;
    ScratchArray& operator=(ScratchArray&&) = delete;
    ~ScratchArray() { std::free(items); }

    // Room for count elements (contents unspecified); false when it cannot
    // be had (what the array held stays).
    bool reserve(size_t count) {
        if (count <= capacity) return true;
        T* bigger = static_cast<T*>(std::malloc(count * sizeof(T)));
        if (!bigger) return false;
        std::free(items);
        items = bigger;
        capacity = count;
        return true;
    }
    // Frees the block when it holds more than keep elements, so that an
    // idle thread does not hold on to the memory of a large call.
    void releaseAbove(size_t keep) {
        if (capacity <= keep) return;
        std::free(items);
        items = nullptr;
        capacity = 0;
    }
    T* get() const { return items; }

private:
    T* items = nullptr;
    size_t capacity = 0;
};
