// A growable array of values that owns them, for the programs' lists. Adding
// answers false, and leaves the array as it was, when the memory for it cannot
// be had; elements move when the array grows.
#pragma once
#include <new>
#include <stddef.h>

namespace qn {

template <typename T>
class Array {
 public:
  Array() = default;
  Array(Array&& other) : items_(other.items_), size_(other.size_), capacity_(other.capacity_) {
    other.items_ = nullptr;
    other.size_ = other.capacity_ = 0;
  }
  Array(const Array&) = delete;
  Array& operator=(const Array&) = delete;
  ~Array() {
    clear();
    ::operator delete(items_);
  }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](size_t index) { return items_[index]; }
  const T& operator[](size_t index) const { return items_[index]; }
  T& back() { return items_[size_ - 1]; }
  const T& back() const { return items_[size_ - 1]; }

  bool push_back(const T& item) {
    T copy(item);  // the item may be one of ours, which growing moves
    return push_back(static_cast<T&&>(copy));
  }
  bool push_back(T&& item) { return insert(size_, static_cast<T&&>(item)); }
  // Puts the item before the one at `index` (index == size() appends).
  [[nodiscard]] bool insert(size_t index, T&& item) {
    if (index > size_ || (size_ == capacity_ && !Grow())) return false;
    if (index == size_) {
      new (items_ + size_) T(static_cast<T&&>(item));
    } else {
      new (items_ + size_) T(static_cast<T&&>(items_[size_ - 1]));
      for (size_t i = size_ - 1; i > index; --i) items_[i] = static_cast<T&&>(items_[i - 1]);
      items_[index] = static_cast<T&&>(item);
    }
    ++size_;
    return true;
  }
  void clear() {
    while (size_ > 0) items_[--size_].~T();
  }

 private:
  bool Grow() {
    size_t capacity = capacity_ ? capacity_ * 2 : 4;
    if (capacity < capacity_ || capacity > static_cast<size_t>(-1) / sizeof(T)) return false;
    T* items = static_cast<T*>(::operator new(capacity * sizeof(T), std::nothrow));
    if (!items) return false;
    for (size_t i = 0; i < size_; ++i) {
      new (items + i) T(static_cast<T&&>(items_[i]));
      items_[i].~T();
    }
    ::operator delete(items_);
    items_ = items;
    capacity_ = capacity;
    return true;
  }

  T* items_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

}  // namespace qn
