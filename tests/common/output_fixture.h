// Playing through AvSystem in tests: the options of a PlayAudio call.
#pragma once

#include "output/av_system.h"

inline PlayOptions Options(DirectXEvent8* sink, LONG startPos, LONG endPos, bool playLoop,
                           LONG halfBufferSize) {
    return {.EventSink = sink,
            .StartPos = startPos,
            .EndPos = endPos,
            .PlayLoop = playLoop,
            .HalfBufferSize = halfBufferSize};
}
