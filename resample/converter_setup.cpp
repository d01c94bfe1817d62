// Set-up of the converter from its plan (converter_plan.cpp: the rates,
// oversampling factor, filter lengths and every reason to refuse): the
// shared filters (converter_filters.cpp), then the path of the plan's
// direction with its tables, buffers and initial running state.

#include <new>

#include "resample/converter_plan.h"
#include "resample/downsampling_path.h"
#include "resample/sample_rate_converter.h"
#include "resample/upsampling_path.h"

const char* const SampleRateConverter::kOutOfMemoryReason = "out of memory while setting up the converter";

SampleRateConverter::SampleRateConverter() = default;

// The path goes before the stage context it works in (member order).
SampleRateConverter::~SampleRateConverter() = default;

bool SampleRateConverter::refuse(const char* why) {
  refusal = why;
  return false;
}

const char* SampleRateConverter::refusalFor(const PcmFormat& input, int outputRate) {
  return planConverter(input, outputRate, kFftBaseLength).refusal;
}

bool SampleRateConverter::configure(const PcmFormat& input, int rate) {
  if (configureCalled) return refuse("the converter is already configured");  // one converter, one design
  configureCalled = true;
  const ConverterPlan plan = planConverter(input, rate, fftBaseLength);
  if (plan.refusal != nullptr) return refuse(plan.refusal);
  stages.adopt(input, rate, plan);
  if (!makePath()) {
    path.reset();
    stages.release();
    return refuse(kOutOfMemoryReason);
  }
  configured = true;
  refusal = nullptr;
  return true;
}

bool SampleRateConverter::makePath() {
  if (stages.plan.upsampling) {
    path.reset(new (std::nothrow) UpsamplingPath(stages));
  } else {
    path.reset(new (std::nothrow) DownsamplingPath(stages));
  }
  return path != nullptr && path->make() && stages.adoptFilters();
}

ConverterDesign SampleRateConverter::design() const {
  const ConverterPlan& plan = stages.plan;
  const bool up = plan.upsampling;
  ConverterDesign d;
  d.upsampling = up;
  d.oversampling = plan.oversampling;
  d.stage1Rate = plan.stage1Rate;
  d.stage2Rate = plan.stage2Rate;
  d.stage1Length = up ? plan.polyphaseTaps : plan.fftTaps;
  d.stage2Length = up ? plan.fftTaps : plan.polyphaseTaps;
  d.tapsPerPhase = plan.tapsPerPhase;
  d.phases = plan.phases;
  d.fftLength = plan.fftLength;
  d.outputDelay = stages.initialOutputDelay;
  return d;
}
