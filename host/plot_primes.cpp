#include "host/plot_primes.h"

#include "engine/plot_job.h"
#include "host/host_colors.h"

static_assert(int{drawNormal} == int{plotLayoutNormal} && int{drawSpiral} == int{plotLayoutSpiral},
              "one numbering of the layouts");

namespace {

int32_t BytesPerSample(int16_t imageMode) {
  return imageMode == plugInModeGray16 || imageMode == plugInModeRGB48 ? 2 : 1;
}

}  // namespace

OSErr PlotPrimes(FilterGlobals* globals, bool reportProgress) {
  if (globals == nullptr || globals->filterRecord == nullptr) return noErr;
  const FilterRecord* record = globals->filterRecord;
  PlotJob job = {};
  job.input = {record->inData, record->inRowBytes, record->inColumnBytes, record->inRect};
  job.output = {record->outData, record->outRowBytes, record->outColumnBytes, record->outRect};
  job.area = globals->processRect;
  job.planes = record->planes;
  job.bytesPerSample = BytesPerSample(record->imageMode);
  job.gray = record->imageMode == plugInModeGrayScale || record->imageMode == plugInModeGray16;
  HostPlotColors(record, HostApp, &job.foreground, &job.background);
  // The shift is taken now; the layout is read through the block once the
  // sieve is done, since the dialog may change it while its preview runs.
  const FilterParameters* parameters = GetFilterParameters(record);
  if (parameters != nullptr) {
    job.shift = parameters->shft;
    job.layout = &parameters->draw;
  }
  job.progressProc = reportProgress ? record->progressProc : nullptr;
  job.abortProc = record->abortProc;
  return RunPlotJob(job);
}
