// A form being read into components, open on its thread from the start of
// the read to its end. A read is limited as a whole, not only in each of
// its parts: units above Classes keep here what the read has taken so far
// (Graphics: the pixels of all its pictures). The innermost open read is
// the one that counts.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace Classes {

class TFormRead {
public:
  TFormRead();
  ~TFormRead();
  TFormRead(const TFormRead&) = delete;
  TFormRead& operator=(const TFormRead&) = delete;

  // The innermost read open on this thread, or none.
  static TFormRead* Current();
  // The running total that the caller keeps under Key (an address of its
  // own) for this read; 0 until it adds to it.
  std::uint64_t& Total(const void* Key);

private:
  TFormRead* FOuter;
  std::vector<std::pair<const void*, std::uint64_t>> FTotals;
};

}  // namespace Classes
