// Arrays of the host that formulas read as array variables.
//
// Compiled code reaches an array through the host's array reference: a pointer to
// element 0, with the 32-bit element count in the 4 bytes just before element 0. An
// empty array holds no address (the reference is null). The reference is read afresh
// on every run, so the host may resize the array between runs, but the THostArray
// object itself must stay where it was bound: it can be neither copied nor moved.
//
//   THostArray<double> vars;
//   vars.resize(n);
//   ExcoDefineVariable("vars", vars.reference(), THostArray<double>::kTypeCode);
//
// Elements are double, float, int32_t or PackedExtended (an 80-bit value stored in
// 10 bytes, without padding, as compiled code expects).
#pragma once

#include "compiler/exco_types.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <stdexcept>

// An Extended element of a host array: 10 bytes, no padding.
struct PackedExtended {
    uint8_t bytes[10] = {};

    PackedExtended() = default;
    PackedExtended(long double value) { *this = value; }  // NOLINT: converts like a number
    PackedExtended& operator=(long double value)
    {
        std::memcpy(bytes, &value, sizeof bytes);
        return *this;
    }
    operator long double() const
    {
        long double value = 0;
        std::memcpy(&value, bytes, sizeof bytes);
        return value;
    }
};
static_assert(sizeof(PackedExtended) == 10 && alignof(PackedExtended) == 1);

template <class T>
struct HostArrayTraits;
template <>
struct HostArrayTraits<double> {
    static constexpr int32_t kVarType = vt::DoubleArray;
    static constexpr int32_t kTypeCode = xt::DoubleArray;
};
template <>
struct HostArrayTraits<PackedExtended> {
    static constexpr int32_t kVarType = vt::ExtendedArray;
    static constexpr int32_t kTypeCode = xt::ExtendedArray;
};
template <>
struct HostArrayTraits<float> {
    static constexpr int32_t kVarType = vt::SingleArray;
    static constexpr int32_t kTypeCode = xt::SingleArray;
};
template <>
struct HostArrayTraits<int32_t> {
    static constexpr int32_t kVarType = vt::IntegerArray;
    static constexpr int32_t kTypeCode = xt::IntegerArray;
};

template <class T>
class THostArray {
 public:
    using value_type = T;
    static constexpr int32_t kVarType = HostArrayTraits<T>::kVarType;    // internal type
    static constexpr int32_t kTypeCode = HostArrayTraits<T>::kTypeCode;  // external type code

    THostArray() = default;
    THostArray(std::initializer_list<T> values) { assign(values.begin(), values.end()); }
    THostArray(const THostArray&) = delete;
    THostArray& operator=(const THostArray&) = delete;

    // The address to bind: the array reference, which holds the address of element 0.
    void* reference() { return &first_; }

    std::size_t size() const
    {
        if (first_ == nullptr)
            return 0;
        uint32_t count = 0;
        std::memcpy(&count, reinterpret_cast<const std::byte*>(first_) - sizeof count, sizeof count);
        return count;
    }
    bool empty() const { return first_ == nullptr; }
    T* data() { return first_; }
    const T* data() const { return first_; }
    T* begin() { return first_; }
    T* end() { return first_ + size(); }
    const T* begin() const { return first_; }
    const T* end() const { return first_ + size(); }

    T& operator[](std::size_t i) { return first_[i]; }
    const T& operator[](std::size_t i) const { return first_[i]; }
    T& at(std::size_t i)
    {
        if (i >= size())
            throw std::out_of_range("host array index");
        return first_[i];
    }

    // Changes the count, keeping the leading elements; new elements are 0. A count of
    // 0 frees the storage and leaves no address.
    void resize(std::size_t count)
    {
        if (count == size())
            return;
        if (count > UINT32_MAX)
            throw std::length_error("host array too long");
        if (count == 0) {
            storage_.reset();
            first_ = nullptr;
            return;
        }
        auto storage = std::make_unique<std::byte[]>(kHeader + count * sizeof(T));
        T* const first = reinterpret_cast<T*>(storage.get() + kHeader);
        std::uninitialized_value_construct_n(first, count);
        std::copy_n(first_, std::min(count, size()), first);
        const uint32_t count32 = static_cast<uint32_t>(count);
        std::memcpy(storage.get() + kHeader - sizeof count32, &count32, sizeof count32);
        storage_ = std::move(storage);
        first_ = first;
    }
    void clear() { resize(0); }

    template <class It>
    void assign(It from, It to)
    {
        resize(0);
        resize(static_cast<std::size_t>(std::distance(from, to)));
        std::copy(from, to, first_);
    }
    void assign(std::initializer_list<T> values) { assign(values.begin(), values.end()); }

 private:
    // The count's word sits right before element 0; 8 header bytes keep the elements
    // aligned for double.
    static constexpr std::size_t kHeader = 8;

    T* first_ = nullptr;  // the array reference that compiled code reads
    std::unique_ptr<std::byte[]> storage_;
};

using THostDoubleArray = THostArray<double>;
using THostExtendedArray = THostArray<PackedExtended>;
using THostSingleArray = THostArray<float>;
using THostIntArray = THostArray<int32_t>;
