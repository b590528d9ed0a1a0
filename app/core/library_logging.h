// Encoder libraries that print to the terminal on their own, outside FFmpeg's log.
#pragma once

// Tells them to report errors only, unless the user's environment says otherwise. Called first
// thing in main, before any thread starts, since it changes the environment.
void quietEncoderLibraries();
