#pragma once
// GrowArray: the program's own growable array.
//
// {data, count, capacity}: every one of the capacity slots holds a
// constructed element; slots at count and above keep their empty value or
// whatever was last stored there. Capacity doubles from 2 and never shrinks
// in place; copies are tight (capacity == count, {null, 0, 0} when empty).
// Works for value types (GrowString, XmlNode) as well as pointers and numbers.

#include <cstdint>
#include <cstdlib>
#include <utility>

// Gives a freshly allocated slot the element type's empty value. Value
// initialisation already does that for pointers, numbers and XmlNode; an
// element type whose empty value differs (GrowString: a terminated "")
// provides an overload of this name next to its class.
template <class T>
inline void initEmptySlot(T&) {}

template <class T>
class GrowArray {
public:
    T* data = nullptr;
    int32_t count = 0;
    int32_t capacity = 0;

    GrowArray() = default;
    GrowArray(const GrowArray& other) { assignFrom(other); }
    GrowArray(GrowArray&& other) noexcept
        : data(other.data), count(other.count), capacity(other.capacity) {
        other.data = nullptr;
        other.count = other.capacity = 0;
    }
    ~GrowArray() { destroy(); }

    GrowArray& operator=(const GrowArray& other) {
        if (this != &other) {
            GrowArray copy(other);  // safe when other lives inside this array
            *this = std::move(copy);
        }
        return *this;
    }
    GrowArray& operator=(GrowArray&& other) noexcept {
        if (this != &other) {
            // Take the source's array before freeing ours: the source may
            // live inside one of our elements.
            T* taken = other.data;
            const int32_t takenCount = other.count;
            const int32_t takenCapacity = other.capacity;
            other.data = nullptr;
            other.count = other.capacity = 0;
            T* old = data;
            data = taken;
            count = takenCount;
            capacity = takenCapacity;
            delete[] old;
        }
        return *this;
    }

    // Doubles the capacity (2 when there is no array); count is unchanged.
    // All capacity old slots are copied, not only the first count.
    void grow() {
        if (!data || capacity < 1) {
            delete[] data;
            count = 0;
            capacity = 2;
            data = new T[2]();
            for (int32_t i = 0; i < 2; ++i) initEmptySlot(data[i]);
            return;
        }
        // A 32-bit count cannot go further; stop rather than overflow.
        if (capacity > (1 << 29)) std::abort();
        const int32_t bigger = capacity * 2;
        T* fresh = new T[bigger]();
        for (int32_t i = 0; i < capacity; ++i) fresh[i] = data[i];
        for (int32_t i = capacity; i < bigger; ++i) initEmptySlot(fresh[i]);
        delete[] data;
        data = fresh;
        capacity = bigger;
    }

    void append(const T& value) {
        if (count >= capacity) {
            // Copied first: value may live in this array or inside one of
            // its elements, which growing frees.
            T copy(value);
            grow();
            data[count] = copy;
        } else {
            data[count] = value;
        }
        ++count;
    }

    // Shifts the later elements down; the slot that was last keeps its value.
    void removeAt(int32_t index) {
        if (index < 0 || index >= count) return;
        for (int32_t i = index; i + 1 < count; ++i) data[i] = data[i + 1];
        --count;
    }

    // Inserts at index (0..count), shifting later elements up.
    void insertAt(int32_t index, const T& value) {
        if (index < 0) index = 0;
        if (index > count) index = count;
        T copy(value);  // value may live inside this array
        if (count >= capacity) grow();
        for (int32_t i = count; i > index; --i) data[i] = data[i - 1];
        data[index] = copy;
        ++count;
    }

    // Destroys every element and frees the array: {null, 0, 0}.
    void destroy() {
        delete[] data;
        data = nullptr;
        count = capacity = 0;
    }

    T& operator[](int32_t i) { return data[i]; }
    const T& operator[](int32_t i) const { return data[i]; }
    T* begin() { return data; }
    T* end() { return data + count; }
    const T* begin() const { return data; }
    const T* end() const { return data + count; }

private:
    void assignFrom(const GrowArray& other) {
        if (other.count < 1) return;
        data = new T[other.count]();
        capacity = count = other.count;
        for (int32_t i = 0; i < count; ++i) data[i] = other.data[i];
    }
};
