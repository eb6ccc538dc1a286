#pragma once

// A fuzz target's own rules: a broken one aborts, so libFuzzer keeps the
// input, and names the rule, so the artifact needs no debugger.

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void FuzzCheckFailed(const char* rule, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: rule broken: %s\n", file, line, rule);
    std::abort();
}

#define FUZZ_CHECK(rule) ((rule) ? void() : FuzzCheckFailed(#rule, __FILE__, __LINE__))
