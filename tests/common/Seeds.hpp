// The seeds and reproducers a fuzz target keeps beside it, each run
// through the target as the fuzzer would: none may crash, and each must
// answer 0.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace Seeds {

using TTarget = int (*)(const std::uint8_t* Data, std::size_t Size);

// Runs Target on every file in fuzz/<Folder>; fewer than Least files fail.
inline void RunAll(TTarget Target, const std::string& Folder, int Least = 1) {
  int Files = 0;
  for (const auto& Entry : std::filesystem::directory_iterator(std::string(TESSORIN_SOURCE_DIR) + "/fuzz/" + Folder)) {
    std::ifstream In(Entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> Data{std::istreambuf_iterator<char>(In), {}};
    EXPECT_EQ(Target(Data.data(), Data.size()), 0) << Entry.path();
    ++Files;
  }
  EXPECT_GE(Files, Least) << Folder;
}

}  // namespace Seeds
