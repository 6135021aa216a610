// Debian's emscripten (3.1.6) ships a C++ library that lacks two things of
// C++20 the library uses: make_unique_for_overwrite and bit_cast. The web
// build includes this header before every C++ source; elsewhere it is not used.
#pragma once

#include <cstring>
#include <memory>
#include <type_traits>

namespace std {

#if !defined(__cpp_lib_smart_ptr_for_overwrite)
template <class T>
    requires(!is_array_v<T>)
unique_ptr<T> make_unique_for_overwrite() {
    return unique_ptr<T>(new T);
}

template <class T>
    requires is_unbounded_array_v<T>
unique_ptr<T> make_unique_for_overwrite(size_t size) {
    return unique_ptr<T>(new remove_extent_t<T>[size]);
}
#endif

#if !defined(__cpp_lib_bit_cast)
template <class To, class From>
    requires(sizeof(To) == sizeof(From) && is_trivially_copyable_v<To> && is_trivially_copyable_v<From>)
constexpr To bit_cast(const From& from) noexcept {
    return __builtin_bit_cast(To, from);
}
#endif

}  // namespace std

// The conversion's inner loops are cloned for x86's vector extensions; in
// WebAssembly there is one target, and the attribute becomes a harmless one.
#if defined(__EMSCRIPTEN__)
#define target_clones(...) unused
#endif
