#pragma once

#include <utility>

namespace kordex::shell {

// Runs a clean-up however a scope is left: normally, by return or by an exception.
template <typename F>
class Finally {
public:
    explicit Finally(F f) : f_(std::move(f)) {}
    ~Finally() { f_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    F f_;
};

}  // namespace kordex::shell
