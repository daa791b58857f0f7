// What the fuzz targets share: the entry point libFuzzer calls (replay_main.cpp calls it in the
// native build's tests), the check of a property, and the plain references the properties are
// judged by.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

// A broken property is a finding like a crash: libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition) \
  ((condition) ? void() : qrv3::fuzz::Broken(#condition, __FILE__, __LINE__))

namespace qrv3::fuzz {

[[noreturn]] inline void Broken(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

inline std::string Text(const uint8_t* data, size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

// The input cut at each `separator` byte into fields.
inline std::vector<std::string> Fields(const uint8_t* data, size_t size, char separator) {
  std::vector<std::string> fields(1);
  for (size_t i = 0; i < size; ++i) {
    if (static_cast<char>(data[i]) == separator) fields.emplace_back();
    else fields.back() += static_cast<char>(data[i]);
  }
  return fields;
}

// Letter case aside, as the product's file system sees names: A to Z as a to z, any other byte
// as it is.
inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

inline int Sign(int x) { return (x > 0) - (x < 0); }

}  // namespace qrv3::fuzz
