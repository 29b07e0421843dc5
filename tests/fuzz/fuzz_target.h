// One fuzz target is one function over a byte string. Built for libFuzzer
// (DRAVENLOK_LIBFUZZER) the function becomes the fuzzer's entry point; built
// into the normal suite it is registered by name, and corpus_replay_test.cpp
// runs it over every file of its corpus, so every input once found to fail
// stays a regression test.
//
// A target checks what must hold after each input and ends the process with
// a message when it does not; the sanitizers check the rest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace dravenlok::fuzz {

using Entry = int (*)(const std::uint8_t* data, std::size_t size);

// Registers `entry` under `name` (the name of its corpus directory).
bool Register(const char* name, Entry entry);

// Ends the process when `condition` does not hold.
inline void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz target: %s\n", what);
        std::abort();
    }
}

}  // namespace dravenlok::fuzz

#if defined(DRAVENLOK_LIBFUZZER)
#define DRAVENLOK_FUZZ_TARGET(name, entry)                                                  \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)      \
    {                                                                                       \
        return entry(data, size);                                                           \
    }
#else
#define DRAVENLOK_FUZZ_TARGET(name, entry) \
    [[maybe_unused]] static const bool kRegistered_##entry = ::dravenlok::fuzz::Register(name, entry);
#endif
