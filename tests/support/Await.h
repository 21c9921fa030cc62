// SPDX-License-Identifier: MIT
#pragma once

#include <qcoro/qcorotask.h>

#include <optional>

namespace tallyvue::test {

/// Runs a coroutine to its end in a nested event loop and returns its value. Unlike
/// QCoro::waitFor it needs no default constructor, so it takes a Result.
template<typename T>
T await(QCoro::Task<T> task)
{
    std::optional<T> result;
    QCoro::waitFor([](QCoro::Task<T> inner, std::optional<T>& out) -> QCoro::Task<> {
        out.emplace(co_await inner);
    }(std::move(task), result));
    return std::move(*result);
}

} // namespace tallyvue::test
