#include <cstddef>

#include "tests/native/reference/spiral.h"

namespace {

// Clockwise order.
enum Direction { kRight, kDown, kLeft, kUp };

struct SpiralWalk {
  int32_t* grid;
  int32_t width;
  int32_t height;
  int32_t row;
  int32_t column;
  int64_t position;  // k of the current pixel
  int64_t shift;
  int64_t nextPoll;
  const PlotProgress* progress;
};

// Pixels between the current one and the rectangle's edge in `direction`.
int32_t RoomAhead(const SpiralWalk& walk, Direction direction) {
  switch (direction) {
    case kRight: return walk.width - 1 - walk.column;
    case kDown: return walk.height - 1 - walk.row;
    case kLeft: return walk.column;
    case kUp: return walk.row;
  }
  return 0;
}

ptrdiff_t StrideOf(const SpiralWalk& walk, Direction direction) {
  switch (direction) {
    case kRight: return 1;
    case kDown: return walk.width;
    case kLeft: return -1;
    case kUp: return -static_cast<ptrdiff_t>(walk.width);
  }
  return 0;
}

void MoveBy(SpiralWalk* walk, Direction direction, int32_t steps) {
  switch (direction) {
    case kRight: walk->column += steps; break;
    case kDown: walk->row += steps; break;
    case kLeft: walk->column -= steps; break;
    case kUp: walk->row -= steps; break;
  }
}

// Goes straight on while the next pixel is inside and not yet numbered,
// numbering each pixel it enters. Sets *steps to the pixels entered.
OSErr WalkLeg(SpiralWalk* walk, Direction direction, int32_t* steps) {
  const ptrdiff_t stride = StrideOf(*walk, direction);
  int32_t* entry = walk->grid + static_cast<ptrdiff_t>(walk->row) * walk->width + walk->column;
  int32_t room = RoomAhead(*walk, direction);
  int32_t taken = 0;
  for (; room > 0 && entry[stride] == 0; --room, ++taken) {
    entry += stride;
    const int64_t k = ++walk->position;
    if (k == walk->nextPoll) {
      walk->nextPoll += kStepsPerPoll;
      if (ReportAndPollAbort(*walk->progress, walk->progress->pixelCount + k / 2)) {
        *steps = taken;
        return userCanceledErr;
      }
    }
    *entry = static_cast<int32_t>(k + walk->shift);
  }
  MoveBy(walk, direction, taken);
  *steps = taken;
  return noErr;
}

Direction TurnClockwise(Direction direction) { return static_cast<Direction>((direction + 1) % 4); }

}  // namespace

OSErr WalkSpiral(int32_t* grid, int32_t width, int32_t height, uint16_t shift,
                 const PlotProgress& progress) {
  SpiralWalk walk = {grid, width, height, 0, 0, 0, shift, kStepsPerPoll, &progress};
  // The start pixel's number (the shift) may be 0, the mark of an unvisited
  // pixel, so it holds 1 until the walk is over.
  grid[0] = 1;
  Direction direction = kRight;
  bool justTurned = false;
  for (;;) {
    int32_t steps = 0;
    if (WalkLeg(&walk, direction, &steps) != noErr) return userCanceledErr;
    // Blocked straight after a turn: every pixel is numbered.
    if (steps == 0 && justTurned) break;
    direction = TurnClockwise(direction);
    justTurned = true;
  }
  grid[0] = shift;
  return noErr;
}
