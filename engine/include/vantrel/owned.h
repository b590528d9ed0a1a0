// Ownership of engine objects for C++ clients: one Release, at the end of the scope.
#pragma once

#include <memory>

namespace MediaBased {

struct ReleaseDeleter {
    template <class T>
    void operator()(T* object) const {
        if (object)
            object->Release();
    }
};

template <class T>
using Owned = std::unique_ptr<T, ReleaseDeleter>;

}  // namespace MediaBased
