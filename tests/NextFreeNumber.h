#pragma once

#include "TestStore.h"

namespace vigix::testing {

// The number the store of folder offers a new test now.
inline int NextFreeNumber(const QString &folder)
{
    TTestStore store;
    store.Open(folder);
    return store.NextTestNumber();
}

} // namespace vigix::testing
