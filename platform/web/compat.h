// Included before every file of the browser build: fills in what the C++ library of
// Debian's emscripten (3.1.6, libc++ 14) lacks of C++20 and the game uses.
#pragma once

#ifdef __cplusplus
#include <bit>
#include <type_traits>

#ifndef __cpp_lib_bit_cast
namespace std {
template <class To, class From>
constexpr To bit_cast(const From& from) noexcept {
    static_assert(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>);
    return __builtin_bit_cast(To, from);
}
}  // namespace std
#endif
#endif
