// Stream 0 of a file, decoded by the engine, for tests that read every picture of it.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "vantrel/owned.h"
#include "vantrel/vantrel.h"

struct DecodedVideo {
    explicit DecodedVideo(const std::string& path) : manager(CreateMediaManager()) {
        EXPECT_NE(manager, nullptr);
        if (manager)
            importer.reset(manager->OpenImporter(path.c_str()));
        EXPECT_NE(importer, nullptr) << path;
        const MediaBased::StreamSelection video{0, 0};
        if (importer)
            source.reset(importer->CreateSource(0, &video, 1));
        EXPECT_NE(source, nullptr) << path;
    }

    // Declared so that they end in the order they must: the source, its importer, the engine.
    MediaBased::Owned<MediaBased::IMediaManager> manager;
    MediaBased::Owned<MediaBased::IMediaImporter> importer;
    MediaBased::Owned<MediaBased::IMediaSource> source;
};
