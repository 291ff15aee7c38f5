#pragma once
// GrowArray: the program's own growable array.
//
// {data, count, capacity}: every one of the capacity slots holds a
// constructed element; slots at count and above keep their empty value or
// whatever was last stored there. Capacity doubles from 2 and never shrinks
// in place; copies are tight (capacity == count, {null, 0, 0} when empty).
// Works for value types (GrowString, XmlNode) as well as pointers and numbers.

#include <cstdint>
#include <utility>

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
            destroy();
            data = other.data;
            count = other.count;
            capacity = other.capacity;
            other.data = nullptr;
            other.count = other.capacity = 0;
        }
        return *this;
    }

    // Doubles the capacity (2 when there is no array); count is unchanged.
    // All capacity old slots are copied, not only the first count.
    void grow() {
        if (!data) {
            count = 0;
            capacity = 2;
            data = new T[2]();
            return;
        }
        T* bigger = new T[static_cast<int64_t>(capacity) * 2]();
        for (int32_t i = 0; i < capacity; ++i) bigger[i] = data[i];
        delete[] data;
        data = bigger;
        capacity *= 2;
    }

    void append(const T& value) {
        if (count >= capacity) {
            T copy(value);  // value may live inside this array
            grow();
            data[count] = std::move(copy);
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
        T copy(value);
        if (count >= capacity) grow();
        for (int32_t i = count; i > index; --i) data[i] = data[i - 1];
        data[index] = std::move(copy);
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
