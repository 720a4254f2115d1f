// What the C++ runtime does when text handling fails: running out of memory,
// or a length past the limit, ends the process at once. Nothing in the
// program catches an exception, so these replace the runtime's throwing
// versions, which would bring its exception classes, their strings and its
// diagnostic printer into the program and double its size.
#include <bits/functexcept.h>

#include <cstdlib>

// The runtime's own hooks: their names and signatures are the runtime's.
// NOLINTBEGIN(cert-dcl58-cpp,cert-dcl50-cpp,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
namespace std {

void __throw_bad_alloc() { std::abort(); }
void __throw_bad_array_new_length() { std::abort(); }
void __throw_bad_function_call() { std::abort(); }
void __throw_length_error(const char*) { std::abort(); }
void __throw_logic_error(const char*) { std::abort(); }
void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
// NOLINTEND(cert-dcl58-cpp,cert-dcl50-cpp,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
