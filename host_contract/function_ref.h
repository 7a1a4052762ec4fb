// A non-owning reference to something callable, for callbacks that never outlive the call they are
// passed to: two pointers, no allocation, no exceptions. Platform-free.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace qv {

template <typename Signature>
class FunctionRef;

template <typename R, typename... Args>
class FunctionRef<R(Args...)> {
public:
    // clang-format 14 splits a constructor's requires-clause across lines: laid out by hand.
    // clang-format off
    template <typename F>
        requires(!std::is_same_v<std::remove_cvref_t<F>, FunctionRef> && std::is_invocable_r_v<R, F&, Args...>)
    FunctionRef(F&& f) noexcept  // NOLINT: converts implicitly, like a function pointer would
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(f)))),
          call_([](void* object, Args... args) -> R {
              return (*static_cast<std::remove_reference_t<F>*>(object))(std::forward<Args>(args)...);
          }) {}
    // clang-format on

    R operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    R (*call_)(void*, Args...);
};

}  // namespace qv
