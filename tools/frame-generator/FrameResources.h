#pragma once
// The built-in border frames, compiled into the program as the resources
// ":/img/<name>.png" by the pellucine_frames library.
//
// A program that links the library calls registerFrameResources() once
// before it loads a frame: resources compiled into a static library are
// registered only when something refers to them.

void registerFrameResources();
