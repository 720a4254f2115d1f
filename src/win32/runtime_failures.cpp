// How the process ends when its memory fails it. The heap ends it on
// corruption where the system offers that. When the C++ runtime fails in the
// text handling, the process ends at once with the code of the failure. Nothing in the program
// catches an exception, so these replace the runtime's throwing versions, which would bring its
// exception classes, their strings and its diagnostic printer into the
// program and double its size. abort() would end with 3, the code of
// Windows 2000 without Service Pack 4.
#include "win32/runtime_failures.h"

#include <windows.h>
#include <bits/functexcept.h>

#include <cstdlib>
#include <new>

#include "platform/types.h"
#include "win32/system_function.h"

namespace {

[[noreturn]] void endProcess(eldoris::RuntimeFailure failure) {
  // At once: no DLL is told, nothing else of the program runs.
  TerminateProcess(GetCurrentProcess(), eldoris::exitCodeOf(failure));
  ExitProcess(eldoris::exitCodeOf(failure));  // not reached; declared not to return
}

constexpr auto outOfMemory = eldoris::RuntimeFailure::outOfMemory;
constexpr auto programFault = eldoris::RuntimeFailure::programFault;

}  // namespace

namespace eldoris {

void endProcessOnMemoryFailures() {
  // Windows 2000 and NT 4.0 lack it; their heap goes on as it always did.
  using SetHeapInformation = BOOL(WINAPI*)(HANDLE, HEAP_INFORMATION_CLASS, PVOID, SIZE_T);
  const auto setHeap =
      lookUpSystemFunction<SetHeapInformation>(L"kernel32.dll", "HeapSetInformation");
  if (setHeap != nullptr) setHeap(nullptr, HeapEnableTerminationOnCorruption, nullptr, 0);
}

}  // namespace eldoris

// The runtime's operator new throws std::bad_alloc itself, which would bring
// the runtime's whole exception machinery (its unwinder alone is 20 KB).
void* operator new(std::size_t size) {
  void* memory = std::malloc(size != 0 ? size : 1);
  if (memory == nullptr) endProcess(outOfMemory);
  return memory;
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete[](void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { std::free(memory); }

// The runtime's own hooks: their names and signatures are the runtime's.
// NOLINTBEGIN(cert-dcl58-cpp,cert-dcl50-cpp,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
namespace std {

void __throw_bad_alloc() { endProcess(outOfMemory); }
void __throw_bad_array_new_length() { endProcess(outOfMemory); }
void __throw_length_error(const char*) { endProcess(outOfMemory); }
void __throw_bad_function_call() { endProcess(programFault); }
void __throw_logic_error(const char*) { endProcess(programFault); }
void __throw_out_of_range_fmt(const char*, ...) { endProcess(programFault); }

}  // namespace std

namespace __gnu_cxx {

void __verbose_terminate_handler() { endProcess(programFault); }

}  // namespace __gnu_cxx
// NOLINTEND(cert-dcl58-cpp,cert-dcl50-cpp,bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
