// Numbered image sequences as footage (`shot.####.png`): one file per frame, found on disk when the
// scene is read and decoded one frame at a time while rendering.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "host/composition.h"

namespace zephrin::host {

struct SequenceFrame {
    int64_t number = 0;  // the file's frame number
    std::filesystem::path file;
};

struct FootageSequence {
    std::filesystem::path pattern;  // absolute, with its run of '#'
    std::vector<SequenceFrame> frames;  // ascending numbers, at least one
    double frameRate = 30.0;  // sequence frames per second of layer time

    // The frame decoded last. A render asks for the same frame once per texture and layer, and a
    // sequence is usually read front to back, so one entry saves nearly every decode.
    mutable std::mutex cacheMutex;
    mutable std::shared_ptr<const Footage> cachedFrame;
    mutable int64_t cachedNumber = 0;
};

// True when the file name (not its folder) holds a run of '#' standing for the frame number.
bool isSequencePattern(const std::filesystem::path& file);

// The files in the pattern's folder that match it: the '#' run is a number with at least that many
// digits, zero-padded to exactly that many (so `####` takes 0007 and 12345, not 07 or 00007).
// Ascending by number. Throws FootageError when none does or the folder cannot be read.
std::vector<SequenceFrame> findSequenceFrames(const std::filesystem::path& pattern);

// Image footage for a sequence: its size, depth and pixels are those of the first file, and the
// sequence is attached for the frame-by-frame lookup. Every file must have the first one's size.
// Throws FootageError naming the file at fault.
Footage loadImageSequenceFootage(std::string key, const std::filesystem::path& pattern, double frameRate);

// The file shown at a layer time (seconds since the layer's in point): the sequence's first file at
// the in point, one file per frame after it, the nearest earlier file across a gap in the numbers,
// and the first or the last file outside the sequence.
const SequenceFrame& sequenceFrameAt(const FootageSequence& sequence, double layerSeconds);

// The footage to draw at a layer time: a still as it is, a sequence's frame decoded from its file.
// Throws FootageError when a sequence file cannot be read any more.
std::shared_ptr<const Footage> footageAtTime(const std::shared_ptr<const Footage>& source, double layerSeconds);

}  // namespace zephrin::host
