#include "engine/plot_geometry.h"

#include <algorithm>

namespace {

struct Located {
  uint8_t* origin;
  ptrdiff_t rowBytes;
};

// False when any sample the plot touches lies outside the delivered rows.
bool LocateIn(const PlotBuffer& buffer, const Rect& area, const PlotGeometry& geometry, Located* located) {
  if (buffer.data == nullptr) return false;
  const int64_t rows = int64_t{buffer.bounds.bottom} - buffer.bounds.top;
  const int64_t columns = int64_t{buffer.bounds.right} - buffer.bounds.left;
  if (area.top < 0 || area.left < 0 || area.bottom > rows || area.right > columns) return false;
  // Hosts built for interfaces before 3.0 leave the column bytes at 0; every
  // host that fills them gives the size of one interleaved pixel.
  const int64_t columnBytes = buffer.columnBytes != 0 ? buffer.columnBytes : geometry.pixelBytes;
  if (columnBytes < 0) return false;
  const int64_t rowLength = columns * columnBytes;
  // A row is entered `left` columns in, then stepped pixel by pixel.
  const int64_t rowStart = int64_t{area.left} * columnBytes;
  const int64_t touchedLength = rowStart + int64_t{geometry.width - 1} * geometry.pixelBytes +
                                int64_t{geometry.count} * geometry.bytesPerSample;
  if (buffer.rowBytes < rowLength || touchedLength > rowLength) return false;
  const int64_t topOffset = int64_t{area.top} * buffer.rowBytes;
  const int64_t extent = int64_t{area.bottom - 1} * buffer.rowBytes + touchedLength;
  if (extent > PTRDIFF_MAX) return false;
  located->origin = static_cast<uint8_t*>(buffer.data) + static_cast<ptrdiff_t>(topOffset + rowStart);
  located->rowBytes = buffer.rowBytes;
  return true;
}

}  // namespace

OSErr LocatePlot(const PlotJob& job, PlotGeometry* geometry) {
  const Rect& area = job.area;
  geometry->width = int32_t{area.right} - area.left;
  geometry->height = int32_t{area.bottom} - area.top;
  if (geometry->width <= 0 || geometry->height <= 0 || job.planes < 1) return filterBadParameters;
  if (job.bytesPerSample != 1 && job.bytesPerSample != 2) return filterBadParameters;
  geometry->bytesPerSample = job.bytesPerSample;
  geometry->pixelBytes = ptrdiff_t{job.planes} * job.bytesPerSample;
  geometry->count = std::min<int>(job.planes, kMaxCopiedPlanes);
  // A colour has three components: grayscale takes red, RGB all three, and
  // planes beyond (transparency, extra channels) are never painted. A gray
  // image may carry extra channels too, so its mode decides, not the count.
  geometry->colorPlanes = job.gray || job.planes <= 2 ? 1 : 3;
  Located input, output;
  if (!LocateIn(job.input, area, *geometry, &input) || !LocateIn(job.output, area, *geometry, &output))
    return filterBadParameters;
  geometry->input = input.origin;
  geometry->inputRowBytes = input.rowBytes;
  geometry->output = output.origin;
  geometry->outputRowBytes = output.rowBytes;
  return noErr;
}
