// Public entry of the Vantrel media engine: the two exported functions and every interface.
#pragma once

#include "vantrel/interfaces.h"
#include "vantrel/records.h"

#define VANTREL_EXPORT __attribute__((visibility("default")))

extern "C" {

// A new, independent manager; the caller ends it with Release. Null when it cannot be made.
VANTREL_EXPORT MediaBased::IMediaManager* CreateMediaManager();

// The process-wide logger; never released.
VANTREL_EXPORT SystemBased::ISystemLogger* GetSystemLogger();
}
