// Small helpers shared by the engine tests.
#pragma once

#include <cstdlib>
#include <memory>
#include <string>

#include "vantrel/owned.h"

// Ends an engine object the only way it may be ended.
using MediaBased::Owned;
using MediaBased::ReleaseDeleter;

// Path of a generated test file (tests/media/make_test_media.sh).
inline std::string TestMedia(const std::string& name) {
    const char* dir = std::getenv("CORVANE_TEST_MEDIA");
    return std::string(dir && *dir ? dir : CORVANE_TEST_MEDIA_DEFAULT) + "/" + name;
}
