// Linked into every plug-in DLL: what the statically linked C++ runtime needs so that the DLL can be
// loaded and unloaded indefinitely and stays small.
#include <windows.h>

#include <bits/functexcept.h>

#include <cstdlib>
#include <exception>
#include <new>
#include <typeinfo>

#include "win32_owner.h"

namespace __gnu_cxx {
void __freeres() noexcept;  // the runtime's own, not declared in its headers
}

namespace {

// The exception unwinder registers the DLL's frame tables at load under a mutex of its own, whose
// semaphore it creates then and never closes: one handle lost per load. The build points the
// unwinder's CreateSemaphoreW at CreateUnwinderSemaphore, so the semaphore has an owner that closes
// it when the DLL goes. By then nothing of the DLL runs, so nobody can be waiting on it.
// Constant-initialised: the unwinder may run before this file's dynamic initialisation.
qv::UniqueHandle g_unwinderSemaphore;

HANDLE WINAPI CreateUnwinderSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initialCount, LONG maximumCount,
                                      LPCWSTR name) {
    HANDLE semaphore = ::CreateSemaphoreW(attributes, initialCount, maximumCount, name);
    g_unwinderSemaphore.reset(semaphore);
    return semaphore;
}

// The C++ runtime sets aside an emergency pool for exceptions thrown when memory runs out, allocated
// at load and freed only on request: about 70 KB lost per load unless the DLL asks at unload.
struct EmergencyPoolRelease {
    ~EmergencyPoolRelease() { __gnu_cxx::__freeres(); }
} g_emergencyPoolRelease;

}  // namespace

// The import slot the unwinder's object calls through (renamed from __imp__CreateSemaphoreW@16).
extern "C" decltype(&CreateUnwinderSemaphore) g_unwinderCreateSemaphore asm("__imp__QvUnwinderCreateSemaphoreW@16");
decltype(&CreateUnwinderSemaphore) g_unwinderCreateSemaphore = &CreateUnwinderSemaphore;

// The runtime's default terminate handler prints the exception's demangled type name, which links in
// the demangler and a printf (a quarter of a DLL). A plug-in has nobody to print to: end at once.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// The runtime throws its logic and runtime errors (a string too long, a position out of range) from
// one object whose exception classes carry their message in a reference-counted string, and so bring
// in every string instantiation of the runtime: about half of a DLL. Defining the whole
// set here keeps that object out. The exceptions without a message keep their own classes; those with
// one become a std::exception that carries the same message. The plug-ins catch everything at their
// entry points, so nothing they do depends on the difference.
namespace {

class RuntimeFault : public std::exception {
public:
    explicit RuntimeFault(const char* message) noexcept : message_(message != nullptr ? message : "C++ runtime error") {}
    const char* what() const noexcept override { return message_; }

private:
    const char* message_;
};

}  // namespace

namespace std {
void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }
void __throw_logic_error(const char* message) { throw RuntimeFault(message); }
void __throw_domain_error(const char* message) { throw RuntimeFault(message); }
void __throw_invalid_argument(const char* message) { throw RuntimeFault(message); }
void __throw_length_error(const char* message) { throw RuntimeFault(message); }
void __throw_out_of_range(const char* message) { throw RuntimeFault(message); }
void __throw_out_of_range_fmt(const char* format, ...) { throw RuntimeFault(format); }
void __throw_runtime_error(const char* message) { throw RuntimeFault(message); }
void __throw_range_error(const char* message) { throw RuntimeFault(message); }
void __throw_overflow_error(const char* message) { throw RuntimeFault(message); }
void __throw_underflow_error(const char* message) { throw RuntimeFault(message); }
}  // namespace std
