// The converter's public surface: set-up from its plan (converter_plan.cpp:
// the design and every reason to refuse), which makes the driver with the
// path of the design's direction (convert_driver.cpp), and the calls the
// driver answers once it exists.

#include "resample/sample_rate_converter.h"

#include <new>

#include "resample/convert_driver.h"
#include "resample/converter_plan.h"

const char* const SampleRateConverter::kOutOfMemoryReason = "out of memory while setting up the converter";

SampleRateConverter::SampleRateConverter() = default;

SampleRateConverter::~SampleRateConverter() = default;

const char* SampleRateConverter::refusalFor(const PcmFormat& input, int outputRate) {
  return planConverter(input, outputRate, kFftBaseLength).refusal;
}

bool SampleRateConverter::configure(const PcmFormat& input, int rate) {
  if (configureCalled) return refuse("the converter is already configured");  // one converter, one design
  configureCalled = true;
  const ConverterPlan plan = planConverter(input, rate, fftBaseLength);
  if (plan.refusal != nullptr) return refuse(plan.refusal);
  std::unique_ptr<ConversionDriver> made(new (std::nothrow) ConversionDriver(plan, input));
  if (made == nullptr || !made->make()) return refuse(kOutOfMemoryReason);
  driver = std::move(made);
  refusal = nullptr;
  return true;
}

bool SampleRateConverter::refuse(const char* why) {
  refusal = why;
  return false;
}

bool SampleRateConverter::convertBlock(const uint8_t* data, uint32_t& byteCount, bool endOfStream, uint8_t*& output) {
  if (driver != nullptr) return driver->convertBlock(data, byteCount, endOfStream, output);
  // Unconfigured: nothing is converted.
  output = nullptr;
  byteCount = 0;
  return true;
}

ConverterDesign SampleRateConverter::design() const { return driver != nullptr ? driver->design() : ConverterDesign{}; }

uint64_t SampleRateConverter::framesIn() const { return driver != nullptr ? driver->framesIn() : 0; }

uint64_t SampleRateConverter::framesOut() const { return driver != nullptr ? driver->framesOut() : 0; }
