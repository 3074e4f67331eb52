// Structured values taken from a fuzz input: integers from its back, byte runs and strings
// from its front, so mutating the data part leaves the choices alone and the other way
// round. Running out of bytes gives zeros and empty runs, never an error. The layout is
// what the seed writer (make_seeds.cpp) produces; it builds with any compiler.
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

class TFuzzInput {
 public:
  TFuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t Remaining() const { return size_; }

  // A value in min..max from as many bytes as the range needs, the first taken (the last
  // byte of the input) being the most significant.
  template <typename T>
  T IntegerInRange(T min, T max) {
    static_assert(std::is_integral_v<T>);
    const uint64_t range = static_cast<uint64_t>(max) - static_cast<uint64_t>(min);
    uint64_t result = 0;
    for (int offset = 0; offset < 64 && (range >> offset) > 0 && size_ > 0; offset += 8) {
      --size_;
      result = (result << 8) | data_[size_];
    }
    if (range != std::numeric_limits<uint64_t>::max()) result %= range + 1;
    return static_cast<T>(static_cast<uint64_t>(min) + result);
  }
  template <typename T>
  T Integer() {
    return IntegerInRange<T>(std::numeric_limits<T>::min(), std::numeric_limits<T>::max());
  }
  bool Bool() { return (Integer<uint8_t>() & 1) != 0; }

  // Up to n bytes from the front.
  std::vector<uint8_t> Bytes(size_t n) {
    if (n > size_) n = size_;
    std::vector<uint8_t> out(data_, data_ + n);
    Advance(n);
    return out;
  }
  std::vector<uint8_t> Rest() { return Bytes(size_); }

  // A string of at most maxLength characters from the front: a backslash followed by
  // anything but a backslash ends it, two backslashes stand for one.
  std::string String(size_t maxLength) {
    std::string out;
    while (out.size() < maxLength && size_ > 0) {
      char c = static_cast<char>(data_[0]);
      Advance(1);
      if (c == '\\' && size_ > 0) {
        c = static_cast<char>(data_[0]);
        Advance(1);
        if (c != '\\') break;
      }
      out += c;
    }
    return out;
  }

 private:
  void Advance(size_t n) {
    data_ += n;
    size_ -= n;
  }

  const uint8_t* data_;
  size_t size_;
};
