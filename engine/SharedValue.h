#pragma once

#include <atomic>

/** A value that one thread writes while others read it, one value at a time: a relaxed atomic
    that reads and assigns like the plain value. Nothing is ordered by it; what must be seen
    whole (a program, a pattern) is handed over by a lock or a rule of its own. */
template <typename T>
class SharedValue
{
public:
    SharedValue() noexcept : value (T {}) {}
    SharedValue (T v) noexcept : value (v) {}
    SharedValue (const SharedValue& other) noexcept : value (other.get()) {}
    SharedValue& operator= (const SharedValue& other) noexcept { set (other.get()); return *this; }
    SharedValue& operator= (T v) noexcept { set (v); return *this; }

    operator T() const noexcept { return get(); }
    T get() const noexcept { return value.load (std::memory_order_relaxed); }
    void set (T v) noexcept { value.store (v, std::memory_order_relaxed); }

private:
    std::atomic<T> value;
};
