#pragma once

#include <QString>
#include <QStringView>

#include <cstdio>

// A violated invariant is a crash for libFuzzer; the condition is printed first, since a
// trap alone says nothing about which check failed.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            __builtin_trap();                                                                  \
        }                                                                                      \
    } while (0)

