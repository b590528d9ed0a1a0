// Small helpers shared by the engine tests.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

// Ends an engine object the only way it may be ended.
struct ReleaseDeleter {
    template <class T>
    void operator()(T* object) const {
        if (object)
            object->Release();
    }
};
template <class T>
using Owned = std::unique_ptr<T, ReleaseDeleter>;

// Path of a generated test file (tests/media/make_test_media.sh).
inline std::string TestMedia(const std::string& name) {
    const char* dir = std::getenv("CORVANE_TEST_MEDIA");
    return std::string(dir && *dir ? dir : CORVANE_TEST_MEDIA_DEFAULT) + "/" + name;
}
