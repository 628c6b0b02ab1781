// The bounded byte reader's faults. Reads are inline in SysUtils.hpp; only
// the way out of a reader lives here, where it costs the hot paths nothing.
#include <cstdlib>

#include "SysUtils.hpp"

namespace SysUtils {

namespace {

std::string OffsetText(std::uint64_t Offset) { return "offset " + std::to_string(Offset); }

}  // namespace

std::string TByteFault::Message() const {
  std::string Text = Source;
  for (const std::string* Part : {&Where, &Fault})
    if (!Part->empty()) Text.append(Text.empty() ? "" : ": ").append(*Part);
  return Text;
}

void TByteReader::Fail(const std::string& Fault) const {
  FRaise({*FSource, {}, Fault});
  // A raise procedure that returns would let the read go on past the end.
  std::abort();
}

void TByteReader::FailAt(std::uint64_t Position, const std::string& Fault) const {
  FRaise({*FSource, OffsetText(FBase + Position), Fault});
  std::abort();
}

void TByteReader::Truncated(std::uint64_t Position, std::string_view What) const {
  const std::string_view Named = !What.empty() ? What : !FWhat.empty() ? std::string_view(FWhat) : "data";
  FailAt(Position, "truncated " + std::string(Named));
}

}  // namespace SysUtils
