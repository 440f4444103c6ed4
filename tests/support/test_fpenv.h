// Control-word helpers for tests of the rig library's floating-point guard.
#ifndef SKW_TEST_FPENV_H
#define SKW_TEST_FPENV_H

#include <cstdint>
#include <xmmintrin.h>

// An unusual caller word: flush-to-zero off, the divide-by-zero exception
// unmasked, round toward zero, and the sticky precision flag set. Every guarded
// entry point must hand exactly this word back.
constexpr std::uint32_t kUnusualCallerWord = (0x1F80u & ~(1u << 9)) | (3u << 13) | (1u << 5);

// Restores the test's own control word when it ends.
struct ControlWordScope {
    std::uint32_t saved = _mm_getcsr();
    ControlWordScope() = default;
    explicit ControlWordScope(std::uint32_t word) { _mm_setcsr(word); }
    ~ControlWordScope() { _mm_setcsr(saved); }
    ControlWordScope(const ControlWordScope&) = delete;
    ControlWordScope& operator=(const ControlWordScope&) = delete;
};

// Runs f with the unusual caller word loaded and reports whether the word that
// comes back is exactly the one that went in.
template <class F>
bool RestoresCallerWord(F&& f)
{
    ControlWordScope scope(kUnusualCallerWord);
    f();
    return _mm_getcsr() == kUnusualCallerWord;
}

#endif
