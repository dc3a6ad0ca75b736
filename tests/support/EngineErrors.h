#pragma once

#include "engine/EngineError.h"

#include <functional>

namespace testsupport {

// The engine error number `f` raises, 0 when it raises none.
inline int errorOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const engine::EngineError &e) {
        return e.number();
    }
    return 0;
}

} // namespace testsupport
